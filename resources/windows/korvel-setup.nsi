; The Windows installer of KORVEL. Built by CMake (makensis with PROGRAM_DIR, SOURCE_DIR,
; OUTFILE and, when the window is built, WINDOW defined).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

Name "KORVEL"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KORVEL"
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KORVEL"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
    SetRegView 64
    SetOutPath "$INSTDIR"
    ; sntp.cfg is never shipped: an existing one stays as it is, and the program creates the
    ; user's own copy when settings are applied.
    File "${PROGRAM_DIR}\korvel-cli.exe"
    File "${SOURCE_DIR}\resources\HELP.HTM"
!ifdef WINDOW
    File "${PROGRAM_DIR}\korvel.exe"
    CreateShortcut "$SMPROGRAMS\KORVEL.lnk" "$INSTDIR\korvel.exe"
!else
    CreateShortcut "$SMPROGRAMS\KORVEL.lnk" "$INSTDIR\HELP.HTM"
!endif
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "KORVEL"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "1.0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetRegView 64
    Delete "$INSTDIR\korvel.exe"
    Delete "$INSTDIR\korvel-cli.exe"
    Delete "$INSTDIR\HELP.HTM"
    Delete "$INSTDIR\uninstall.exe"
    Delete "$SMPROGRAMS\KORVEL.lnk"
    ; The folder goes only when empty: a site sntp.cfg or a log in it stays.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
