#!/usr/bin/env bash
# The Debian package in a clean Debian 12 root (debootstrap's minbase, made once under WORK and
# copied for each run), never on this machine, in a mount and process namespace without
# CAP_SYS_TIME; no service starts in the root (policy-rc.d), which has no system bus and reaches
# the virtual display by its abstract socket.
#
# package_root_test.sh BUILD_DIR WORK     (the package: BUILD_DIR/korvel_*.deb)
# Exits 77 (skipped) when Debian's mirror cannot be reached.
set -euo pipefail

if [ -z "${KORVEL_IN_NAMESPACE:-}" ]; then
    mkdir -p "$2"
    exec setpriv --bounding-set -sys_time --inh-caps -sys_time \
        unshare --mount --propagation private --pid --fork --kill-child \
        env KORVEL_IN_NAMESPACE=1 "$0" "$@"
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
deb=$(find "$1" -maxdepth 1 -name 'korvel_*.deb' | head -1)
[ -n "$deb" ] || fail "no korvel_*.deb in $1"
deb=$(realpath "$deb")
work=$(realpath "$2")
mirror=http://deb.debian.org/debian
step() { printf '%s  %s\n' "$(date +%T)" "$*"; }
! capsh --has-b=cap_sys_time 2>/dev/null || fail "CAP_SYS_TIME is still in the bounding set"
mount -t proc proc /proc

base=$work/base         # the clean root, made once
archives=$work/archives # packages apt fetched, kept between runs
root=$work/root         # this run's copy (a mount point)
mkdir -p "$archives/partial"

if ! wget -q --spider --timeout=20 --tries=2 "$mirror/dists/bookworm/Release"; then
    echo "SKIPPED: Debian's mirror $mirror cannot be reached" >&2
    exit 77
fi

if [ ! -e "$base/.korvel-complete" ]; then
    step "debootstrap --variant=minbase bookworm (once)"
    rm -rf "$base"
    debootstrap --variant=minbase bookworm "$base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        fail "debootstrap, see $work/debootstrap.log"
    touch "$base/.korvel-complete"
fi

# This run's root lives in memory, in this namespace alone: it goes when the test ends.
step "copying the clean root"
mkdir -p "$root"
mount -t tmpfs -o size=6g,mode=755 korvel-test-root "$root"
cp -a "$base/." "$root/"
install -m 755 /dev/stdin "$root/usr/sbin/policy-rc.d" <<<$'#!/bin/sh\nexit 101'
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --bind "$archives" "$root/var/cache/apt/archives"
cp "$deb" "$root/tmp/"
package=/tmp/$(basename "$deb")
version=$(dpkg-deb --field "$deb" Version)

tracer=() # a command the next in_root runs under
in_root() {
    "${tracer[@]}" chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive ${DISPLAY:+DISPLAY=$DISPLAY} \
        DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/korvel-no-system-bus "$@"
}
site_file() { cat "$root/etc/korvel/sntp.cfg"; }
dpkg_verify() {
    local report
    report=$(in_root dpkg --verify korvel 2>&1) || true
    [ -z "$report" ] || fail "$1: dpkg --verify korvel reports: $report"
}

step "apt-get update"
in_root apt-get update -qq >"$work/apt.log" 2>&1 || {
    echo "SKIPPED: apt-get update in the root failed: $(tail -3 "$work/apt.log")" >&2
    exit 77
}

# A process the kernel calls chronyd, as a running time service looks to the postinst.
cp "$root/usr/bin/sleep" "$root/tmp/chronyd"
chroot "$root" /tmp/chronyd 600 &
time_service=$!

step "apt-get install $package"
in_root apt-get install -y -q "$package" >"$work/install.log" 2>&1 ||
    fail "install: $(tail -20 "$work/install.log")"
grep -q "korvel: chronyd keeps this system's clock" "$work/install.log" ||
    fail "the first install did not name the running time service"
# One line: the site's servers, the default line the window appends at a start first.
site_line=$(site_file)
[ "$(wc -l <"$root/etc/korvel/sntp.cfg")" -eq 1 ] && [ -n "$site_line" ] ||
    fail "sntp.cfg after the install: $(site_file)"
[ "$(stat -c %a "$root/etc/korvel/sntp.cfg")" = 644 ] || fail "sntp.cfg not 0644"
dpkg_verify "after the install"
# The scheduled correction stays off: the package enables nothing.
enabled=$(in_root systemctl is-enabled korvel-sync.timer korvel-sync.service 2>&1) || true
[ "$enabled" = "$(printf 'disabled\nstatic')" ] || fail "after the install: $enabled"
# timedated turns on the first installed unit of its lists sorted by file name: KORVEL's comes
# after every other, so set-ntp true turns on what it did before the install.
lists=$(find "$root"/{etc,run,usr/local/lib,usr/lib}/systemd/ntp-units.d -name '*.list' \
    -printf '%f\n' 2>/dev/null | LC_ALL=C sort || true)
[ "$(printf '%s\n' "$lists" | tail -1)" = zz-korvel-sync.list ] &&
    [ "$(grep -v '^#' "$root/usr/lib/systemd/ntp-units.d/zz-korvel-sync.list")" = korvel-sync.timer ] ||
    fail "timedated's lists: $lists"

for program in korvel korvel-cli; do
    printed=$(in_root "$program" --version)
    [ "$printed" = "$program $version" ] || fail "$program --version: '$printed', package $version"
done

# The installed window on a virtual display, as root, traced.
rm -f "$work/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x600x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
read -r number <"$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$number

trace=$work/window.strace
# A library or plug-in counts when it is mapped to run (Qt only reads the others' metadata);
# a font when it is opened. strace names a mapped file by its path outside the root (the
# others are chroot's own, before it enters the root).
loaded() {
    grep -E 'mmap\(.*PROT_EXEC' "$trace" 2>/dev/null | grep -oE "<$root/[^>]+>" | tr -d '<>' |
        sed "s|^$root||" | sort -u
}
fonts() {
    grep -E '^[0-9]+ +open(at)?\(' "$trace" 2>/dev/null | awk -F'"' '{print $2}' |
        grep -E '^/usr/share/fonts/' | sort -u
}
svg_plugin='/qt6/plugins/imageformats/libqsvg\.so$'
cjk_font='(CJK|wqy)'
step "the window under strace on $DISPLAY, as root"
tracer=(strace -f -qq -y -e trace=open,openat,mmap -e status=successful -o "$trace")
in_root sh -c 'echo $$ >/tmp/window.pid; exec korvel' &
traced=$!
tracer=()
for _ in $(seq 300); do
    loaded | grep -Eq "$svg_plugin" && fonts | grep -Eq "$cjk_font" && break
    kill -0 "$traced" 2>/dev/null || break
    sleep 0.1
done
sleep 2 # the first picture drawn
kill "$(cat "$root/tmp/window.pid")" 2>/dev/null || fail "the window ended by itself"
wait "$traced" || true

kill "$xvfb"
wait "$xvfb" || true
unset DISPLAY
# A start appends the described 25-character default line, the site line's own beginning.
[ "$(site_file)" = "$(printf '%s\n%s' "$site_line" "${site_line:0:25}")" ] ||
    fail "sntp.cfg after a root start: $(site_file)"
dpkg_verify "after a root start"

# What the window loaded and opened, by package.
opened_files=$( (loaded; fonts) | sort -u)
# dpkg knows a library by one of its names: the one opened, the file it leads to, or the same
# path on the other side of the merged /usr.
# shellcheck disable=SC2086
candidates=$(for file in $opened_files $(in_root readlink -f $opened_files); do
    printf '%s\n' "$file" "${file#/usr}" "/usr$file"
done | sort -u)
# shellcheck disable=SC2086
packages=$({ in_root dpkg -S $candidates 2>/dev/null || true; } | sed 's/: .*//' | tr ',' '\n' |
    sed 's/^ *//; s/:amd64$//' | sort -u)
closure() {
    in_root apt-cache depends --recurse --installed --no-recommends --no-suggests \
        --no-conflicts --no-breaks --no-replaces --no-enhances "$@" |
        grep -E '^[a-z0-9]' | sed 's/:amd64$//'
}
essential=$(in_root dpkg-query -W -f='${Package} ${Essential}\n' | awk '$2 == "yes" {print $1}')
# shellcheck disable=SC2086
allowed=$( (closure korvel; closure $essential) | sort -u)
outside=$(comm -23 <(echo "$packages") <(echo "$allowed"))
[ -z "$outside" ] || fail "the window opens files of packages outside korvel's Depends: $outside"
loaded | grep -Eq "$svg_plugin" || fail "the window did not load Qt's SVG plug-in"
fonts | grep -Eq "$cjk_font" || fail "the window opened no font with Chinese characters"

step "apt-get install --reinstall $package"
started=$(site_file)
in_root apt-get install -y -q --reinstall "$package" >"$work/reinstall.log" 2>&1 ||
    fail "second install: $(tail -20 "$work/reinstall.log")"
! grep -q "keeps this system's clock" "$work/reinstall.log" || fail "the note came twice"
[ "$(site_file)" = "$started" ] || fail "the second install changed sntp.cfg: $(site_file)"
dpkg_verify "after the second install"
kill "$time_service"

step "systemctl enable korvel-sync.timer; apt-get purge korvel"
wanted=$root/etc/systemd/system/timers.target.wants/korvel-sync.timer
in_root systemctl enable korvel-sync.timer >>"$work/install.log" 2>&1 && [ -L "$wanted" ] ||
    fail "systemctl enable korvel-sync.timer: $(tail -3 "$work/install.log")"
in_root apt-get purge -y -q korvel >>"$work/install.log" 2>&1 || fail "purge"
ntp_list=$root/usr/lib/systemd/ntp-units.d/zz-korvel-sync.list
[ ! -e "$root/etc/korvel" ] && [ ! -e "$root/usr/libexec/korvel" ] && [ ! -L "$wanted" ] &&
    [ ! -e "$ntp_list" ] ||
    fail "purge left $(ls -d "$root/etc/korvel" "$root/usr/libexec/korvel" "$wanted" "$ntp_list" 2>/dev/null)"

step "passed"
