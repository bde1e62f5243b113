#!/usr/bin/env bash
# Takes the README's pictures of the desktop program: the idle window, a measured offset, the
# open settings panel, the message box of a refused server address, a refused 校准 and the
# tray icon's menu and the 测时详情 window after three measurements.
#
#   scripts/screenshots.sh [OUTPUT_FOLDER]        (default: docs/screenshots)
#
# The program runs from a scratch copy of its folder under Xvfb with a window manager, all
# inside a network namespace of its own, where a local SNTP responder answers on
# 127.0.0.1:123. Nothing reaches the real network and the system clock is never set.
#
#   KORVEL_BUILD_DIR   the build folder (default: build)
#   KORVEL_RESPONDER   command that serves SNTP on 127.0.0.1 port 123 inside the namespace,
#                      answering 2.25 s ahead of the local clock (default: the test responder
#                      of the build, korvel-test-responder)
#   KORVEL_SCALE       Qt scale factor of the pictures, such as 1.25 (default: 1)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KORVEL_BUILD_DIR:-$here/build}"
output="$(realpath -m "${1:-$here/docs/screenshots}")"
responder_tool="$build/tools/korvel-test-responder"
export KORVEL_RESPONDER="${KORVEL_RESPONDER:-$responder_tool --bind 127.0.0.1 --port 123 --offset 2.25}"

if [ "${KORVEL_IN_NAMESPACE:-}" != 1 ]; then
    for tool in Xvfb openbox trayer xdotool import ip unshare; do
        command -v "$tool" >/dev/null || {
            echo "screenshots: $tool is missing (./dev screenshots installs it)" >&2
            exit 69
        }
    done
    [ -x "$build/src/app/korvel" ] || {
        echo "screenshots: $build/src/app/korvel is not built" >&2
        exit 69
    }
    read -r -a responder_words <<<"$KORVEL_RESPONDER"
    command -v "${responder_words[0]}" >/dev/null || {
        echo "screenshots: no SNTP responder: ${responder_words[0]} not found; set KORVEL_RESPONDER" >&2
        exit 69
    }
    mkdir -p "$output"
    # A namespace with loopback only; as root directly, otherwise as root of a user namespace.
    # The pictures include a refused 校准: without the right to set the clock and without the
    # system bus, whoever runs this.
    if [ "$(id -u)" -eq 0 ]; then unshare_net=(unshare --net); else unshare_net=(unshare -rn); fi
    exec env KORVEL_IN_NAMESPACE=1 DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/korvel \
        setpriv --bounding-set -sys_time --inh-caps -sys_time "${unshare_net[@]}" "$0" "$output"
fi
if capsh --decode="$(awk '/^CapEff/ { print $2 }' /proc/self/status)" | grep -q cap_sys_time; then
    echo "screenshots: the right to set the clock is still held; not going on" >&2
    exit 70
fi

# From here on: inside the namespace.
ip link set lo up
work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The program's own folder: the executable and its configuration naming the local server.
mkdir -p "$work/program" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/src/app/korvel" "$work/program/"
printf 'SNTP %-15s %-4s\n' 127.0.0.1 1231 >"$work/program/sntp.cfg"

$KORVEL_RESPONDER >"$work/responder.log" 2>&1 &
pids+=($!)

export DISPLAY=:77
# A screen that holds the widened window at every scale.
screen="$(awk -v s="${KORVEL_SCALE:-1}" 'BEGIN { printf "%dx%d", 1024 * s, 768 * s }')"
Xvfb "$DISPLAY" -screen 0 "${screen}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
# Openbox draws a maximise button even on windows that do not allow maximising; the title
# bar shows only the buttons that work.
cat >"$work/openbox.xml" <<'XML'
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><titleLayout>NLIC</titleLayout></theme>
</openbox_config>
XML
openbox --config-file "$work/openbox.xml" >"$work/openbox.log" 2>&1 &
pids+=($!)
# A system tray along the bottom edge, its icons at its right end; there before the program,
# which looks for one as it starts.
tray_height=24
trayer --edge bottom --align right --widthtype request --height "$tray_height" \
    --heighttype pixel --SetDockType true --transparent false --tint 0xc0c0c0 \
    >"$work/trayer.log" 2>&1 &
pids+=($!)
sleep 1

XDG_RUNTIME_DIR="$work/runtime" QT_SCALE_FACTOR="${KORVEL_SCALE:-1}" \
    "$work/program/korvel" >"$work/korvel.log" 2>&1 &
pids+=($!)
window="$(xdotool search --sync --onlyvisible --name 'KORVEL')"
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true

# Clicks at a point of the window in logical pixels below its menu bar.
click() {
    local x y
    eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=')"
    read -r x y < <(awk -v s="${KORVEL_SCALE:-1}" -v h="$HEIGHT" -v x="$1" -v y="$2" \
        'BEGIN { printf "%d %d\n", x * s, (y + h / s - 393) * s }')
    xdotool mousemove --window "$window" "$x" "$y" click 1
    xdotool mousemove 1000 700
}
# shoot NAME PAUSE [WINDOW]: the main window unless another is named.
shoot() {
    sleep "$2"
    import -frame -window "${3:-$window}" "$output/$1.png"
    echo "screenshots: $output/$1.png"
}

shoot idle 1.5
click 18 21   # toolbar button 1, 测时
shoot measured 4
click 84 21   # toolbar button 3, 参数设置
sleep 2
click 424 140 # 定时校时
shoot settings 1
click 472 118 # the server address box
xdotool key ctrl+a type '10.0 .0.1'
click 465 267 # 确  定: the address is refused
sleep 1
shoot message 0 "$(xdotool getactivewindow)"
xdotool key Return
click 51 21   # toolbar button 2, 校准: refused, the reason in the status bar
shoot refused 2
# The tray icon's menu, opened with the right button, with the icon beneath it.
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
xdotool mousemove $((screen_width - tray_height / 2)) $((screen_height - tray_height / 2)) click 3
sleep 1
read -r crop_width crop_height < <(awk -v s="${KORVEL_SCALE:-1}" \
    'BEGIN { printf "%d %d\n", 180 * s, 130 * s }')
import -window root -crop \
    "${crop_width}x${crop_height}+$((screen_width - crop_width))+$((screen_height - crop_height))" \
    "$output/tray-menu.png"
echo "screenshots: $output/tray-menu.png"
xdotool key Escape
click 18 21   # two more measurements for the run's plot
sleep 4
click 18 21
sleep 4
xdotool key --window "$window" alt+o d
xdotool search --sync --onlyvisible --name '测时详情' >/dev/null
sleep 1
import -window root "$output/burst-details.png"
echo "screenshots: $output/burst-details.png"
