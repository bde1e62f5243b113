; The Windows installer of KORVEL. Built by CMake (makensis with PROGRAM_DIR, SOURCE_DIR,
; NOTICES_DIR, OUTFILE, SITE_LINE and, when the window is built, WINDOW defined).
; /S installs silently; /SCHEDULE also turns the scheduled correction on.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

Name "KORVEL"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KORVEL"
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KORVEL"
!define TASK_NAME "KORVEL\korvel-sync"
; Well-known accounts by SID, whatever the system's language names them.
!define SYSTEM_SID "*S-1-5-18"
!define ADMINISTRATORS_SID "*S-1-5-32-544"
!define USERS_SID "*S-1-5-32-545"
!define LOCAL_SERVICE_SID "*S-1-5-19"
; Where the installer records that it made the site folder: only administrators can write here.
!define SITE_KEY "Software\KORVEL"
; The site folder's access list from its first moment: owned by Administrators, inheritance
; off, SYSTEM and Administrators full control, Users and LOCAL SERVICE read.
!define SITE_SDDL "O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;LS)"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var site
Var aside

; Runs a system tool, its output in the install log.
!macro SystemTool TOOL ARGUMENTS
    nsExec::ExecToLog '"$SYSDIR\${TOOL}" ${ARGUMENTS}'
    Pop $0
!macroend

Section "KORVEL" ProgramSection
    SectionIn RO
    SetRegView 64
    SetOutPath "$INSTDIR"
    File "${PROGRAM_DIR}\korvel-cli.exe"
    File "${SOURCE_DIR}\resources\HELP.HTM"
    ; libgcrypt stays a replaceable DLL, as its licence (LGPL) asks of a program linked with it.
    File "${PROGRAM_DIR}\libgcrypt-20.dll"
    File "${PROGRAM_DIR}\libgpg-error-0.dll"
    File "${NOTICES_DIR}\THIRD-PARTY.TXT"
    File "${NOTICES_DIR}\LGPL-2.1.txt"
    File "${NOTICES_DIR}\Apache-2.0.txt"
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

    ; The site's settings, which every user's window and the scheduled correction read. The
    ; folder is trusted only when this installer made it, as its mark under HKLM says: one made
    ; by anyone else (a standard user may create it before the install) is moved aside whole,
    ; and a fresh one names the default server first and three more. A trusted folder keeps
    ; its sntp.cfg, and the log\ and state\ of LOCAL SERVICE in it.
    SetShellVarContext all
    StrCpy $site "$APPDATA\KORVEL"
    ReadRegStr $0 HKLM "${SITE_KEY}" "SiteFolder"
    ${If} ${FileExists} "$site"
    ${AndIf} $0 != $site
        ${GetTime} "" "L" $1 $2 $3 $4 $5 $6 $7
        StrCpy $aside "$site.untrusted-$3$2$1-$5$6$7"
        ; A rename moves a junction or link itself, never what it leads to.
        ClearErrors
        Rename "$site" "$aside"
        ${If} ${Errors}
            MessageBox MB_ICONSTOP "$site 不是安装程序建立的，也无法移开；安装已停止。" /SD IDOK
            Abort
        ${EndIf}
        DetailPrint "$site 不是安装程序建立的，已移到 $aside"
        MessageBox MB_ICONINFORMATION "$site 不是安装程序建立的，已移到 $aside。新的站点设置使用默认服务器。" /SD IDOK
    ${EndIf}
    ${IfNot} ${FileExists} "$site"
        ; Made with its access list, so nobody else can put anything into it meanwhile; made
        ; here, or the install stops (someone made it again since the move).
        StrCpy $R9 "${SITE_SDDL}"
        System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R9, i 1, *p .r1, p 0) i .r0'
        System::Call '*(i 24, i 0, p r1, i 0, i 0) p .r2'
        System::Call 'kernel32::CreateDirectoryW(w "$site", p r2) i .r0'
        System::Free $2
        System::Call 'kernel32::LocalFree(p r1)'
        ${If} $0 = 0
            MessageBox MB_ICONSTOP "$site 无法建立；安装已停止。" /SD IDOK
            Abort
        ${EndIf}
        WriteRegStr HKLM "${SITE_KEY}" "SiteFolder" "$site"
    ${EndIf}
    ${IfNot} ${FileExists} "$site\sntp.cfg"
        FileOpen $1 "$site\sntp.cfg" w
        FileWrite $1 "${SITE_LINE}$\r$\n"
        FileClose $1
    ${EndIf}
    CreateDirectory "$site\log"
    CreateDirectory "$site\state"
    ; Named paths only, never /T, and /L: a link in the folder is changed itself, and icacls is
    ; never led to what it points at. The children inherit the folder's list; LOCAL SERVICE
    ; may also write the scheduled correction's run log and the state it keeps the clock by.
    !insertmacro SystemTool icacls.exe '"$site" /setowner ${ADMINISTRATORS_SID} /L /Q'
    !insertmacro SystemTool icacls.exe '"$site" /inheritance:r /grant:r ${SYSTEM_SID}:(OI)(CI)F ${ADMINISTRATORS_SID}:(OI)(CI)F ${USERS_SID}:(OI)(CI)RX ${LOCAL_SERVICE_SID}:(OI)(CI)RX /L /Q'
    !insertmacro SystemTool icacls.exe '"$site\sntp.cfg" /setowner ${ADMINISTRATORS_SID} /L /Q'
    !insertmacro SystemTool icacls.exe '"$site\sntp.cfg" /reset /L /Q'
    !insertmacro SystemTool icacls.exe '"$site\log" /grant ${LOCAL_SERVICE_SID}:(OI)(CI)M /L /Q'
    !insertmacro SystemTool icacls.exe '"$site\state" /grant ${LOCAL_SERVICE_SID}:(OI)(CI)M /L /Q'
SectionEnd

; Off unless chosen here or with /SCHEDULE: a task of the Task Scheduler that corrects the
; clock from the site's servers as LOCAL SERVICE (which holds the right to set the clock), at
; start-up and every 30 minutes. Its definition stays beside the program.
Section /o "定时校准（计划任务，开机时和每 30 分钟）" ScheduleSection
    SetShellVarContext all
    FileOpen $1 "$INSTDIR\korvel-sync.xml" w
    ; One line per write: a string of NSIS holds 1024 characters at most.
    FileWriteUTF16LE /BOM $1 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $1 '<Task version="1.3" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
    FileWriteUTF16LE $1 '  <RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $1 '    <Description>KORVEL: corrects the clock from the servers in $APPDATA\KORVEL\sntp.cfg</Description>$\r$\n'
    FileWriteUTF16LE $1 '  </RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $1 '  <Triggers>$\r$\n'
    FileWriteUTF16LE $1 '    <BootTrigger>$\r$\n'
    FileWriteUTF16LE $1 '      <Delay>PT2M</Delay>$\r$\n'
    FileWriteUTF16LE $1 '    </BootTrigger>$\r$\n'
    FileWriteUTF16LE $1 '    <TimeTrigger>$\r$\n'
    FileWriteUTF16LE $1 '      <StartBoundary>2000-01-01T00:00:00</StartBoundary>$\r$\n'
    FileWriteUTF16LE $1 '      <Repetition>$\r$\n'
    FileWriteUTF16LE $1 '        <Interval>PT30M</Interval>$\r$\n'
    FileWriteUTF16LE $1 '      </Repetition>$\r$\n'
    FileWriteUTF16LE $1 '    </TimeTrigger>$\r$\n'
    FileWriteUTF16LE $1 '  </Triggers>$\r$\n'
    FileWriteUTF16LE $1 '  <Principals>$\r$\n'
    FileWriteUTF16LE $1 '    <Principal id="LocalService">$\r$\n'
    FileWriteUTF16LE $1 '      <UserId>S-1-5-19</UserId>$\r$\n'
    FileWriteUTF16LE $1 '      <RunLevel>LeastPrivilege</RunLevel>$\r$\n'
    FileWriteUTF16LE $1 '    </Principal>$\r$\n'
    FileWriteUTF16LE $1 '  </Principals>$\r$\n'
    FileWriteUTF16LE $1 '  <Settings>$\r$\n'
    FileWriteUTF16LE $1 '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>$\r$\n'
    FileWriteUTF16LE $1 '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>$\r$\n'
    FileWriteUTF16LE $1 '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>$\r$\n'
    FileWriteUTF16LE $1 '    <StartWhenAvailable>true</StartWhenAvailable>$\r$\n'
    FileWriteUTF16LE $1 '    <ExecutionTimeLimit>PT10M</ExecutionTimeLimit>$\r$\n'
    FileWriteUTF16LE $1 '  </Settings>$\r$\n'
    FileWriteUTF16LE $1 '  <Actions Context="LocalService">$\r$\n'
    FileWriteUTF16LE $1 '    <Exec>$\r$\n'
    FileWriteUTF16LE $1 '      <Command>"$INSTDIR\korvel-cli.exe"</Command>$\r$\n'
    FileWriteUTF16LE $1 '      <Arguments>measure --apply --unattended --site-config</Arguments>$\r$\n'
    FileWriteUTF16LE $1 '    </Exec>$\r$\n'
    FileWriteUTF16LE $1 '  </Actions>$\r$\n'
    FileWriteUTF16LE $1 '</Task>$\r$\n'
    FileClose $1
    !insertmacro SystemTool schtasks.exe '/Create /TN "${TASK_NAME}" /XML "$INSTDIR\korvel-sync.xml" /F'
SectionEnd

Function .onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/SCHEDULE" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${ScheduleSection}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetRegView 64
    !insertmacro SystemTool schtasks.exe '/Delete /TN "${TASK_NAME}" /F'
    ; Gives the clock back: the frequency the scheduled correction set is reset.
    nsExec::ExecToLog '"$INSTDIR\korvel-cli.exe" reset-keeping'
    Pop $0
    Delete "$INSTDIR\korvel-sync.xml"
    Delete "$INSTDIR\korvel.exe"
    Delete "$INSTDIR\korvel-cli.exe"
    Delete "$INSTDIR\HELP.HTM"
    Delete "$INSTDIR\libgcrypt-20.dll"
    Delete "$INSTDIR\libgpg-error-0.dll"
    Delete "$INSTDIR\THIRD-PARTY.TXT"
    Delete "$INSTDIR\LGPL-2.1.txt"
    Delete "$INSTDIR\Apache-2.0.txt"
    Delete "$INSTDIR\uninstall.exe"
    Delete "$SMPROGRAMS\KORVEL.lnk"
    ; The folder goes only when empty; the site's settings and run log in %ProgramData% stay.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
