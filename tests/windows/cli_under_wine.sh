#!/bin/sh
# korvel-cli.exe under Wine against the test responder, each case in a network namespace of
# its own with a fresh Wine prefix, so that the prefix's wineserver (which owns Wine's sockets)
# starts inside the namespace. Usage: cli_under_wine.sh RESPONDER WINDOWS_BUILD_DIR
#   1. The installer runs silently; the installed tool measures a server 3.25 s ahead to
#      within 2 ms and, asked to apply, is refused (the right to set the clock is gone).
#   2. An unattended run from the installed site file writes its one line to the run log; a
#      silent server gives 无法连接服务器 after 10 s.
#   3. The installer, silently without and with /SCHEDULE: the site file, the access lists it
#      asks icacls.exe for and the task it asks schtasks.exe to register and to delete. Wine
#      keeps no access lists, and its schtasks cannot read a task definition with triggers
#      (nor would it run one), so stand-ins record both tools' command lines and the test
#      reads the task definition the installer wrote; after the uninstaller the task's
#      definition and the program are gone.
set -eu

responder=$1
build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../scripts/wine-run"
work="$build/wine-tests"
rm -rf "$work"
mkdir -p "$work"

# One booted prefix, copied for each case: booting takes far longer than copying.
"$wine_run" "$work/template" wineboot --init >/dev/null 2>&1

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# in_namespace CASE RESPONDER_OPTIONS COMMAND: runs the shell command in a new network namespace
# with only loopback and the responder on 127.0.0.1:123; the command finds wine-run in
# $KORVEL_WINE and the case's own prefix in $KORVEL_PREFIX. Output goes to $work/CASE.out and
# .err, the status to .status, the seconds taken to .time.
in_namespace() {
    export KORVEL_PREFIX="$work/$1" KORVEL_OPTIONS="$2" KORVEL_COMMAND="$3"
    cp -a "$work/template" "$KORVEL_PREFIX"
    unshare --net sh -c '
        ip link set lo up
        "$KORVEL_RESPONDER" --bind 127.0.0.1 --port 123 $KORVEL_OPTIONS >/dev/null &
        responder=$!
        sleep 0.3
        start=$(date +%s)
        status=0
        sh -c "$KORVEL_COMMAND" >"$KORVEL_PREFIX.out" 2>"$KORVEL_PREFIX.err" || status=$?
        echo $status >"$KORVEL_PREFIX.status"
        echo $(($(date +%s) - start)) >"$KORVEL_PREFIX.time"
        WINEPREFIX="$KORVEL_PREFIX" wineserver -k 2>/dev/null || true
        kill $responder'
}
export KORVEL_WINE="$wine_run" KORVEL_RESPONDER="$responder" KORVEL_BUILD="$build"

in_namespace installed "--offset 3.25" '
    "$KORVEL_WINE" "$KORVEL_PREFIX" "$KORVEL_BUILD/korvel-setup.exe" /S &&
    "$KORVEL_WINE" "$KORVEL_PREFIX" "C:\\Program Files\\KORVEL\\korvel-cli.exe" measure 127.0.0.1 --apply'
offset=$(sed -n 's/^offset \(.*\) s$/\1/p' "$work/installed.out")
if [ -z "$offset" ] || ! awk -v o="$offset" 'BEGIN { d = o - 3.25; exit !(d < 0.002 && d > -0.002) }'; then
    fail "installed tool: offset '$offset', not 3.25 s within 2 ms: $(cat "$work/installed.out")"
fi
if [ "$(cat "$work/installed.status")" != 4 ] || ! grep -q '^校准失败$' "$work/installed.out" ||
    ! grep -q '管理员' "$work/installed.err"; then
    fail "installed tool: the refused correction was not reported (status $(cat "$work/installed.status"))"
fi

# An unattended run from the site file the installer made: one server is not enough to step
# on, and the run says so in one line of the run log.
in_namespace unattended "--offset 3.25" '
    "$KORVEL_WINE" "$KORVEL_PREFIX" "$KORVEL_BUILD/korvel-setup.exe" /S &&
    printf "SNTP 127.0.0.1       1231\r\n" >"$KORVEL_PREFIX/drive_c/ProgramData/KORVEL/sntp.cfg" &&
    "$KORVEL_WINE" "$KORVEL_PREFIX" "C:\\Program Files\\KORVEL\\korvel-cli.exe" measure --apply \
        --unattended --site-config'
run_log="$work/unattended/drive_c/ProgramData/KORVEL/log/korvel-sync.log"
if [ "$(cat "$work/unattended.status")" != 10 ] || [ "$(wc -l <"$run_log")" != 1 ] ||
    ! grep -q '[0-9]-[0-9]* [0-9:]*Z withheldNoSecondOpinion: .*offset 3\.2' "$run_log"; then
    fail "unattended run: status $(cat "$work/unattended.status"), run log: $(cat "$run_log" 2>&1)"
fi

in_namespace silent --silent \
    '"$KORVEL_WINE" "$KORVEL_PREFIX" "$KORVEL_BUILD/src/app/korvel-cli.exe" measure 127.0.0.1'
if [ "$(cat "$work/silent.status")" != 1 ] || [ "$(cat "$work/silent.out")" != "无法连接服务器" ] ||
    [ "$(cat "$work/silent.time")" -lt 10 ]; then
    fail "silent server: status $(cat "$work/silent.status") after $(cat "$work/silent.time") s: $(cat "$work/silent.out")"
fi

# installer_case NAME SWITCHES: installs, checks, uninstalls, checks; no network needed.
installer_case() {
    prefix="$work/$1"
    asked="$prefix/drive_c/recorded-commands.txt"
    cp -a "$work/template" "$prefix"
    for tool in icacls schtasks; do
        cp "$build/tests/windows/record-command.exe" "$prefix/drive_c/windows/system32/$tool.exe"
        "$wine_run" "$prefix" reg add 'HKCU\Software\Wine\DllOverrides' /v "$tool.exe" \
            /d native /f >/dev/null 2>&1
    done
    # shellcheck disable=SC2086
    "$wine_run" "$prefix" "$build/korvel-setup.exe" /S $2 >/dev/null 2>&1 ||
        fail "$1: the installer failed"
    WINEPREFIX="$prefix" wineserver -w
    site="$prefix/drive_c/ProgramData/KORVEL"
    program="$prefix/drive_c/Program Files/KORVEL"
    head -n 1 "$site/sntp.cfg" | tr -d '\r' |
        grep -qx 'SNTP 203\.107\.6\.88    1231 ntp\.tencent\.com ntp\.ntsc\.ac\.cn cn\.pool\.ntp\.org' ||
        fail "$1: site file: $(cat "$site/sntp.cfg" 2>&1)"
    [ -d "$site/log" ] || fail "$1: no log folder"
    for command in \
        'icacls.exe" "C:\ProgramData\KORVEL" /setowner *S-1-5-32-544 /T /C /Q' \
        'icacls.exe" "C:\ProgramData\KORVEL" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX *S-1-5-19:(OI)(CI)RX /Q' \
        'icacls.exe" "C:\ProgramData\KORVEL\*" /reset /T /C /Q' \
        'icacls.exe" "C:\ProgramData\KORVEL\log" /grant *S-1-5-19:(OI)(CI)M /Q'; do
        grep -qF -- "$command" "$asked" || fail "$1: not asked for: $command"
    done
    register='schtasks.exe" /Create /TN "KORVEL\korvel-sync" /XML "C:\Program Files\KORVEL\korvel-sync.xml" /F'
    if [ "$2" = /SCHEDULE ]; then
        grep -qF -- "$register" "$asked" || fail "$1: the task was not registered"
        definition=$(iconv -f UTF-16 -t UTF-8 "$program/korvel-sync.xml" | tr -d '\r')
        for part in '<UserId>S-1-5-19</UserId>' '<BootTrigger>' '<Interval>PT30M</Interval>' \
            '<Command>"C:\Program Files\KORVEL\korvel-cli.exe"</Command>' \
            '<Arguments>measure --apply --unattended --site-config</Arguments>'; do
            printf '%s' "$definition" | grep -qF -- "$part" || fail "$1: the task lacks $part"
        done
    elif grep -qF schtasks.exe "$asked" || [ -e "$program/korvel-sync.xml" ]; then
        fail "$1: a task was registered although not chosen"
    fi
    "$wine_run" "$prefix" "C:\\Program Files\\KORVEL\\uninstall.exe" /S >/dev/null 2>&1 ||
        fail "$1: the uninstaller failed"
    WINEPREFIX="$prefix" wineserver -w
    grep -qF -- 'schtasks.exe" /Delete /TN "KORVEL\korvel-sync" /F' "$asked" ||
        fail "$1: the uninstaller did not delete the task"
    for gone in korvel-sync.xml korvel-cli.exe; do
        [ ! -e "$program/$gone" ] || fail "$1: $gone outlived the uninstaller"
    done
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
}
installer_case installer-plain ""
installer_case installer-scheduled /SCHEDULE

[ "$failures" -eq 0 ] && echo "korvel-cli.exe under Wine: all cases passed"
exit "$failures"
