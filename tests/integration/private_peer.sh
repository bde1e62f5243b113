#!/bin/sh
# private_peer.sh PACKAGE FOLDER: unpacks Debian's PACKAGE into FOLDER/PACKAGE (once) and
# prints that folder. The package is never installed: its service would steer the clock.
set -eu
target="$2/$1"
if [ ! -d "$target/usr" ]; then
    download="$(mktemp -d)"
    chmod 755 "$download"  # apt's download user writes here
    (cd "$download" && { apt-get download "$1" >/dev/null 2>&1 ||
        { apt-get update -qq && apt-get download "$1" >/dev/null; }; })
    mkdir -p "$target"
    dpkg -x "$download/$1"_*.deb "$target"
    rm -rf "$download"
fi
echo "$target"
