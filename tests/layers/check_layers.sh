#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a layer above its own.
# usage: check_layers.sh [SOURCE_ROOT]   (default: the src/ folder beside tests/)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../src" && pwd)}"

# The layer of a path relative to src/ (a file or an included header).
layer_of() {
    case "$1" in
        common/*) echo common ;;
        sntp/*) echo sntp ;;
        platform/posix/* | platform/qt/* | platform/win32/*) echo platform-impl ;;
        platform/*) echo platform ;;
        exchange/*) echo engine ;;
        ui/form/*) echo form ;;
        calibration/* | settings/*) echo handlers ;;
        ui/qt/* | ui/win32/*) echo views ;;
        app/*) echo app ;;
        *) echo unknown ;;
    esac
}

# What each layer may include. Implementations of the platform see only its interfaces; the
# views draw the form and never call a handler themselves.
allowed() {
    case "$1" in
        common) echo "common" ;;
        sntp) echo "common sntp" ;;
        platform) echo "common sntp platform" ;;
        platform-impl) echo "common sntp platform platform-impl" ;;
        engine) echo "common sntp platform engine" ;;
        form) echo "common sntp platform engine form" ;;
        handlers) echo "common sntp platform engine form handlers" ;;
        views) echo "common sntp platform platform-impl form views" ;;
        app) echo "common sntp platform platform-impl engine form handlers views app" ;;
    esac
}

status=0
while IFS= read -r file; do
    relative="${file#"$root"/}"
    own="$(layer_of "$relative")"
    if [ "$own" = unknown ]; then
        echo "$relative: in no layer" >&2
        status=1
        continue
    fi
    permitted=" $(allowed "$own") "
    while IFS=: read -r line header; do
        target="$(layer_of "$header")"
        if [ "$target" = unknown ] || [[ "$permitted" != *" $target "* ]]; then
            echo "$relative:$line: $own includes $header ($target)" >&2
            status=1
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
        sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done < <(find "$root" -name '*.h' -o -name '*.cpp' | sort)
exit "$status"
