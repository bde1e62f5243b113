#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a layer above its own, or a system's header
# outside the parts that may see that system.
# usage: check_layers.sh [SOURCE_ROOT]   (default: the src/ folder beside tests/)
#        check_layers.sh --self-test    (runs the check on planted files)
set -euo pipefail

# The layer of a path relative to src/ (a file or an included header), in $layer. The
# classifiers set a variable rather than print: a subshell per include makes the check slow.
layer_of() {
    case "$1" in
        common/*) layer=common ;;
        sntp/*) layer=sntp ;;
        platform/posix/* | platform/qt/* | platform/win32/* | platform/crypto/*) layer=platform-impl ;;
        platform/*) layer=platform ;;
        exchange/*) layer=engine ;;
        ui/form/*) layer=form ;;
        calibration/*) layer=calibration ;;
        settings/*) layer=settings ;;
        wiring/*) layer=wiring ;;
        ui/qt/* | ui/win32/*) layer=views ;;
        app/*) layer=app ;;
        *) layer=unknown ;;
    esac
}

# What each layer may include: a layer of the core sees those before it in $core.
# Implementations of the platform see only its interfaces; the views draw the form and never
# call a handler themselves. Of the window's handlers, settings build on calibration, and only
# start-up and the dispatcher (wiring) see both.
core=" common sntp platform engine form calibration settings wiring "
allowed() {
    case "$1" in
        platform-impl) echo "common sntp platform platform-impl" ;;
        views) echo "common sntp platform platform-impl form views" ;;
        app) echo "$core platform-impl views app" ;;
        *) echo "${core%%" $1 "*} $1" ;;
    esac
}

# The system a header that is not the project's belongs to, in $system; a lower-case name
# without a dot or a folder is the C++ library's.
system_of() {
    case "$1" in
        openssl/* | gnutls/* | nettle/* | gcrypt.h) system=tls ;;
        sys/* | netinet/* | arpa/* | net/* | linux/* | unistd.h | fcntl.h | poll.h | pwd.h | \
            grp.h | dirent.h | dlfcn.h | pthread.h | termios.h | netdb.h | ifaddrs.h | spawn.h)
            system=posix ;;
        windows.h | winsock2.h | ws2tcpip.h | shellapi.h | commctrl.h | timeapi.h | shlobj.h | \
            objbase.h | netioapi.h | iphlpapi.h | bcrypt.h | winreg.h | wincrypt.h | shlwapi.h | \
            knownfolders.h | aclapi.h | accctrl.h | sddl.h | userenv.h | mmsystem.h | winerror.h | \
            powrprof.h | wtsapi32.h | taskschd.h)
            system=win32 ;;
        Q[A-Za-z]* | Qt[A-Za-z]*/* | q*.h) system=qt ;;
        *[./]*) system=unknown ;;
        [a-z]*) system=c++ ;;
        *) system=unknown ;;
    esac
}

# The programs' composition roots: the only files outside the views and the platform that see
# a toolkit or a system, and only Qt or Win32.
main_files=" app/main.cpp app/main_win32.cpp app/cli_qt_main.cpp app/cli_win32_main.cpp
 app/desktop_program.h app/desktop_program.cpp "

# Whether the file at a path relative to src/ may include a header of that system. POSIX calls
# live in the Linux platform (the Qt one runs on Linux only); cryptography behind the platform,
# where crypto/ holds what both systems share.
may_use_system() {
    local file="$1" main=no
    [[ "$main_files" == *[[:space:]]"$file"[[:space:]]* ]] && main=yes
    case "$2" in
        c++) return 0 ;;
        posix) [[ "$file" == platform/posix/* || "$file" == platform/qt/* ]] ;;
        win32) [[ "$file" == platform/win32/* || "$file" == ui/win32/* || "$main" == yes ]] ;;
        qt) [[ "$file" == platform/qt/* || "$file" == ui/qt/* || "$main" == yes ]] ;;
        tls) [[ "$file" == platform/posix/* || "$file" == platform/qt/* ||
            "$file" == platform/win32/* || "$file" == platform/crypto/* ]] ;;
        *) return 1 ;;
    esac
}

check_tree() {
    local root="$1" status=0 file relative own permitted line kind header layer system
    while IFS= read -r file; do
        relative="${file#"$root"/}"
        layer_of "$relative"
        own=$layer
        if [ "$own" = unknown ]; then
            echo "$relative: in no layer" >&2
            status=1
            continue
        fi
        permitted=" $(allowed "$own") "
        while IFS=: read -r line kind header; do
            layer_of "$header"
            if [ "$kind" = '<' ] && [ "$layer" = unknown ]; then
                system_of "$header"
                if ! may_use_system "$relative" "$system"; then
                    echo "$relative:$line: $own includes <$header> ($system)" >&2
                    status=1
                fi
            elif [ "$layer" = unknown ] || [[ "$permitted" != *" $layer "* ]]; then
                echo "$relative:$line: $own includes $header ($layer)" >&2
                status=1
            fi
        done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file" |
            sed 's/^\([0-9]*\):[^<"]*\([<"]\)\([^>"]*\)[>"].*/\1:\2:\3/')
    done < <(find "$root" -name '*.h' -o -name '*.cpp' | sort)
    return "$status"
}

# Each row plants one file with one include line and says whether the check must pass.
self_test() {
    local failures=0 tree path include expected actual
    tree="$(mktemp -d)"
    trap 'rm -rf "$tree"' RETURN
    while IFS='|' read -r path include expected; do
        [ -z "$path" ] && continue
        rm -rf "${tree:?}"/*
        mkdir -p "$tree/$(dirname "$path")"
        printf '#pragma once\n%s\n' "$include" >"$tree/$path"
        actual=pass
        check_tree "$tree" 2>/dev/null || actual=fail
        if [ "$actual" != "$expected" ]; then
            echo "self-test: $path with '$include': $actual, expected $expected" >&2
            failures=$((failures + 1))
        fi
    done <<'ROWS'
exchange/a.cpp|#include "common/day_date.h"|pass
calibration/a.cpp|#include "settings/settings_panel.h"|fail
settings/a.cpp|#include "wiring/command_dispatch.h"|fail
wiring/a.cpp|#include "settings/settings_panel.h"|pass
ui/qt/a.cpp|#include "wiring/start_up.h"|fail
app/main.cpp|#include "wiring/start_up.h"|pass
common/a.h|#include "ui/qt/form1.h"|fail
common/a.h|#include <ui/qt/form1.h>|fail
sntp/a.cpp|  #  include <settings/config_file.h>|fail
exchange/a.cpp|#include <common/day_date.h>|pass
common/a.cpp|#include "unistd.h"|fail
common/a.cpp|#include <string_view>|pass
common/a.cpp|#include <boost/any.hpp>|fail
common/a.cpp|#include <mystery.h>|fail
common/a.cpp|#include <unistd.h>|fail
platform/posix/a.cpp|#include <sys/stat.h>|pass
platform/qt/a.cpp|#include <netinet/in.h>|pass
app/cli_qt_main.cpp|#include <unistd.h>|fail
platform/win32/a.cpp|#include <unistd.h>|fail
platform/win32/a.cpp|#include <windows.h>|pass
ui/win32/a.cpp|#include <commctrl.h>|pass
app/main_win32.cpp|#include <shellapi.h>|pass
app/cli_main.cpp|#include <windows.h>|fail
ui/form/a.h|#include <windows.h>|fail
app/main.cpp|#include <QApplication>|pass
ui/qt/a.cpp|#include <qdrawutil.h>|pass
ui/form/a.h|#include <QtCore/QObject>|fail
app/core_actions.cpp|#include <QString>|fail
platform/posix/a.cpp|#include <openssl/ssl.h>|pass
platform/win32/a.cpp|#include <openssl/evp.h>|pass
platform/qt/a.cpp|#include <gnutls/gnutls.h>|pass
platform/crypto/a.cpp|#include <gcrypt.h>|pass
platform/crypto/a.cpp|#include <sys/socket.h>|fail
platform/crypto/a.cpp|#include <winsock2.h>|fail
sntp/a.cpp|#include <openssl/evp.h>|fail
app/main.cpp|#include <gcrypt.h>|fail
ROWS
    [ "$failures" -eq 0 ]
}

if [ "${1:-}" = --self-test ]; then
    self_test
else
    check_tree "${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../src" && pwd)}"
fi
