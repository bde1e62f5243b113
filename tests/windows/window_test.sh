#!/usr/bin/env bash
# What only the Win32 view shows, under Wine on a virtual display, in a network namespace of its
# own (a fresh prefix whose wineserver starts there) against the test responder at +3.25 s.
# Every Wine process runs through scripts/wine-run, without the right to set the clock.
#
#   window_test.sh WINDOWS_BUILD LINUX_BUILD [SCREENSHOT_FOLDER]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
windows_build="$(realpath "$1")"
linux_build="$(realpath -m "$2")"
shots="${3:+$(realpath -m "$3")}"

responder="$linux_build/tools/korvel-test-responder"
if [ ! -x "$responder" ]; then
    echo "window test: skipped, $responder is not built (build the Linux tree first)" >&2
    exit 77
fi

if [ "${KORVEL_IN_NAMESPACE:-}" != 1 ]; then
    if [ "$(id -u)" -eq 0 ]; then unshare_net=(unshare --net); else unshare_net=(unshare -rn); fi
    exec env KORVEL_IN_NAMESPACE=1 "${unshare_net[@]}" "$0" "$windows_build" "$linux_build" $shots
fi
ip link set lo up

work="$windows_build/window-test.$$"
prefix="$work/prefix"
pids=()
wine() { "$here/scripts/wine-run" "$prefix" "$@"; }
cleanup() {
    setpriv --bounding-set -sys_time --inh-caps -sys_time env WINEPREFIX="$prefix" \
        wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "window test: $*" >&2; exit 1; }

mkdir -p "$work/program"
cp "$windows_build/src/app/korvel.exe" "$windows_build/src/app/"*.dll "$work/program/"
printf 'SNTP %-15s %-4s\n' 127.0.0.1 1231 >"$work/program/sntp.cfg"
"$responder" --bind 127.0.0.1 --port 123 --offset 3.25 >"$work/responder.log" 2>&1 &
pids+=($!)

export DISPLAY=":$((100 + $$ % 100))"
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
# Openbox would draw a maximise button the window does not have.
cat >"$work/openbox.xml" <<'XML'
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><theme><titleLayout>NLIC</titleLayout></theme></openbox_config>
XML
openbox --config-file "$work/openbox.xml" >"$work/openbox.log" 2>&1 &
pids+=($!)

# The window's faces, and Wine's own for menus and boxes, are Noto CJK here; Wine takes the
# replacements from the prefix.
wine wineboot -i >/dev/null 2>&1
{
    printf '\xff\xfe'
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"宋体"="Noto Serif CJK SC"\r\n"Microsoft Sans Serif"="Noto Sans CJK SC"\r\n"Tahoma"="Noto Sans CJK SC"\r\n"楷体_GB2312"="Noto Serif CJK SC"\r\n' |
        iconv -f UTF-8 -t UTF-16LE
} >"$prefix/drive_c/fonts.reg"
wine regedit /S 'C:\fonts.reg' >/dev/null 2>&1

probe() { wine "$windows_build/tests/windows/window-probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
line() { probe "$@" | sed -n 2p; }  # the first thing's line: left top width height fits text
# press PAUSE KEY...: the keys to the window, then time for the program to take them.
press() { xdotool key --window "$window" "${@:2}"; sleep "$1"; }
# click NAME: the left button just inside the control's left edge.
click() { read -r left top _ height _ < <(line "$1") &&
    xdotool mousemove $((left + 8)) $((top + height / 2)) click 1 && sleep 0.5; }
# retry TRIES PAUSE COMMAND...: the command again until it succeeds, at most TRIES times.
retry() {
    local tries=$1 pause=$2
    shift 2
    for _ in $(seq "$tries"); do "$@" && return 0; sleep "$pause"; done
    return 1
}
# dismiss NAME KEY: the key to each visible window so named, looked up again on every try (Wine
# may map a window more than once while it sets it up), until none is left; false after 20.
dismiss() {
    local found
    for _ in $(seq 20); do
        found="$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" || return 0
        for id in $found; do xdotool key --window "$id" "$2" 2>/dev/null || true; done
        sleep 0.3
    done
    return 1
}

wine "$work/program/korvel.exe" >"$work/korvel.log" 2>&1 &
pids+=($!)
window="$(timeout 60 xdotool search --sync --onlyvisible --name 'KORVEL')"
titled() { [ "$(probe | head -1)" = "KORVEL　Ver1.0 " ]; }
retry 20 0.2 titled || fail "the window's title is '$(probe | head -1)', not 'KORVEL　Ver1.0 '"
[ -z "$(line Panel3 | cut -d' ' -f6-)" ] || fail "the third panel shows '$(line Panel3)' at start"
[ -z "$shots" ] || import -frame -window "$window" "$shots/windows-idle.png"
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true

# Six Tabs and Space in the collapsed window reach no control of the panel (确定 would apply).
collapsed="$(line Form1)"
read -r _ _ narrow _ <<<"$collapsed"
press 0.5 Tab Tab Tab Tab Tab Tab space
[ "$(line Form1)" = "$collapsed" ] || fail "Tab reached the hidden panel"
fits="$(line Text2 | cut -d' ' -f5)$(line Label3 | cut -d' ' -f5)"
[ "$fits" = 11 ] || fail "the clock or the offset's label does not fit ($fits)"
# No browser for the help page: refused, and the message names the page.
xdotool key --window "$window" F1
for _ in $(seq 20); do box="$(probe Box Lamp)" && break; sleep 0.2; done
box="$(sed -n '2{s/^\([^ ]* \)\{5\}//;p}; 3s/.* //p' <<<"$box" | tr '\n' '|')"
[[ "$box" =~ ^帮助文件\ .*HELP\.HTM\ 无法打开\|8\|$ ]] || fail "help without a browser: '$box'"
dismiss '^KORVEL$' Return || true

xdotool key --window "$window" alt+c
# offset_is PATTERN: the offset box's place, whether its text fits and its text, once matching.
offset_is() { read -r left top width height fit offset < <(line Text3) && [[ "$fit $offset" =~ $1 ]]; }
retry 100 0.1 offset_is '^. [0-9]+\.[0-9]{6}' || true
[[ "$offset" =~ ^3\.2[0-9]{5}\ 秒$ ]] || fail "Alt+C did not show an offset near 3.25 s: '$offset'"
sleep 0.5
[ -z "$shots" ] || import -frame -window "$window" "$shots/windows-measured.png"
import -window root "$work/screen.png"
green="$(convert "$work/screen.png" -crop "${width}x${height}+${left}+${top}" txt:- |
    grep -c '#00FF00' || true)"
[ "$green" -ge 20 ] || fail "the offset is not drawn in green ($green green pixels)"
# 选项 → 测时详情 opens one window, and a second open no other; Esc closes it. The second
# open's keys reach the program only once its main window is active again. (Under Openbox the
# window Wine raises does not become the active one, so the raise itself is not checked.)
details_windows() { xdotool search --onlyvisible --name '^测时详情$' 2>/dev/null | tr '\n' ' '; }
xdotool key --window "$window" alt+o d
retry 30 0.3 details_windows >/dev/null || true
activated() { xdotool windowactivate "$window" 2>/dev/null; [ "$(xdotool getactivewindow)" = "$window" ]; }
retry 20 0.2 activated || fail "the main window could not be activated again"
press 1.5 alt+o d
details="$(details_windows || true)"
[ "$(wc -w <<<"$details")" -eq 1 ] || fail "选项 → 测时详情 opened '$details'"
[ -z "$shots" ] || import -frame -window "${details%% *}" "$shots/windows-burst-details.png"
dismiss '^测时详情$' Escape || fail "Esc left 测时详情 open"

shown() { [ "$(xdotool search --onlyvisible --name 'KORVEL　Ver1.0' | wc -l)" -eq "$1" ]; }
# Moved by the window manager, which sends no end of a move loop, the window opens its panel
# at its new height.
xdotool windowmove "$window" 40 70
sleep 1
read -r _ moved _ < <(line Form1)
xdotool key --window "$window" alt+s
geometry=""
settled() { previous="$geometry" && sleep 0.5 && geometry="$(line Form1)" && [ "$geometry" = "$previous" ]; }
retry 30 0 settled || true
read -r _ top width _ <<<"$geometry"
[ "$top" = "$moved" ] && [ "$width" -gt "$narrow" ] ||
    fail "the panel opened at '$geometry', moved to top $moved"
[ -z "$shots" ] || import -frame -window "$window" "$shots/windows-settings.png"
# A server three years ahead (a dead board battery): its offset fits the box, and the third
# panel's cause shows whole in a tool tip, up to the panel's (the bar's) right end.
kill "${pids[0]}" && wait "${pids[0]}" 2>/dev/null || true  # its port free again
"$responder" --bind 127.0.0.1 --port 123 --offset 94608000 >>"$work/responder.log" 2>&1 & pids+=($!)
retry 20 0.2 activated || fail "the main window could not be activated again"
xdotool key --window "$window" alt+c
retry 100 0.1 offset_is '^1 9460(7999|8000)\.' || fail "three years ahead, the offset box: '$fit $offset'"
read -r left top width height _ < <(line Panel3)
xdotool mousemove $((left + width - 4)) $((top + height / 2))
tip() { [ "$(line Tip | cut -d' ' -f6-)" = 可能原因：主板电池失效 ]; }
retry 20 0.3 tip || fail "the third panel: $(line Panel3), its tool tip: $(line Tip)"
# The address box's top edge shows whole under its label.
read -r left top width _ < <(line Text9)
import -window root "$work/screen.png"
covered="$(convert "$work/screen.png" -crop "${width}x1+${left}+${top}" txt:- | grep -c '#C0C0C0' || true)"
[ "$covered" -eq 0 ] || fail "the label covers $covered pixels of the address box's edge"
# The address label stands above its box, the first further server's box below the buttons.
read -r _ label_top _ label_height _ < <(line Label6)
[ $((label_top + label_height)) -le "$top" ] || fail "the address label runs into its box"
read -r _ button_top _ button_height _ < <(line Command1)
read -r _ server_top _ _ _ < <(line Text11)
[ $((button_top + button_height)) -le "$server_top" ] || fail "备用服务器 1 covers 确定"
# Every drop-down list opens wide enough for its names. Alt+Down opens the address list and the
# arrows move in it; Esc closes it alone, a second one runs 取消, which brings the address back.
[ "$(line List | cut -d' ' -f5)" = 1 ] || fail "a drop-down list cuts an offered name: $(line List)"
click Text9
press 0.3 alt+Down
press 0.5 Down Down
[ "$(line Text9 | cut -d' ' -f6-)" = ntp.tencent.com ] || fail "Down, Down chose: $(line Text9)"
press 0.3 Escape
press 0.5 Escape
[ "$(line Text9 | cut -d' ' -f6-)" = 127.0.0.1 ] || fail "Esc, Esc left: $(line Text9)"
# Scheduled calibration applied: the status bar's long summary shows whole.
click Check1
click Command1
sleep 3
[ "$(line Panel1 | cut -d' ' -f5- | sed 's/ *$//')" = "1 自动校时: 每0.1小时   时差限制: 无" ] ||
    fail "status panel 1: $(line Panel1)"
xdotool key --window "$window" alt+w
about="$(timeout 10 xdotool search --sync --onlyvisible --name '关于 HORLO' | tail -1)"
[ "$(xprop -id "$about" _NET_WM_ICON | head -34)" = "$(xprop -id "$window" _NET_WM_ICON | head -34)" ] ||
    fail "the About box does not carry the program's icon"
# The box may take the key before it has its focus.
dismiss '关于 HORLO' Return || true

[ "$(line Tray | cut -d' ' -f6)" = 1 ] || fail "Wine's shell does not show the tray icon"
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
press 1 alt+o
xdotool key t  # to the open menu, which has the keyboard
sleep 0.5
line Close >/dev/null
retry 20 0.2 shown 0 && [ -n "$(probe)" ] || fail "closing did not leave the program in the tray"
# A second copy says so and ends; the first comes out of the tray.
wine "$work/program/korvel.exe" >"$work/second.log" 2>&1 &
second=$!
retry 60 0.5 xdotool search --onlyvisible --name '^KORVEL$' >/dev/null 2>&1 ||
    fail "the second copy showed no refusal"
dismiss '^KORVEL$' Return || fail "the second copy's refusal stayed open"
wait "$second" || fail "the second copy did not end cleanly"
retry 20 0.3 shown 1 || fail "a second start did not bring the window out of the tray"
line Close >/dev/null
retry 20 0.2 shown 0 || fail "closing again did not leave the program in the tray"
reopened() { line TrayOpen >/dev/null; sleep 1; shown 1; }
retry 5 0 reopened || fail "a double click on the tray icon did not bring the window back"
# Closing leaves it in the tray, but the keyboard alone still ends it: Tab reaches the hidden
# exit button Command4, and Space presses it.
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
on_exit_button() { [ "$(line Focus | cut -d' ' -f6)" = Command4 ] || { xdotool key --window "$window" Tab; false; }; }
retry 6 0.3 on_exit_button || fail "Tab does not reach the hidden exit button"
xdotool key --window "$window" space
gone() { ! probe >/dev/null; }
retry 20 0.3 gone || fail "Space on the hidden exit button did not end the program"
echo "window test: passed ($green green pixels in the offset)"
