#!/usr/bin/env bash
# Builds OpenSSL's libraries statically for mingw-w64 from Debian's source package, once per
# source version, and prints the folder they were installed into. Debian packages no TLS
# library for mingw-w64; the source comes through a source list of this script's own, so the
# machine's apt sources stay untouched.
# usage: windows-openssl.sh   (cache: $KORVEL_CACHE_DIR, default ~/.cache/korvel)
set -euo pipefail

cache="${KORVEL_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/korvel}/openssl-mingw"
apt_dir="$cache/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
cat >"$apt_dir/sources.list" <<'EOF'
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
EOF
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o "Debug::NoLocking=1"
    -o "APT::Sandbox::User=root")

# The newest version listed whose files the mirror serves (a mirror may list a security update
# before its pool holds it).
apt-get "${apt_options[@]}" -qq update >&2
work="$(mktemp -d "$cache/build.XXXXXX")"
trap 'rm -rf "$work"' EXIT
version=
for candidate in $(apt-cache "${apt_options[@]}" showsrc openssl |
    sed -n 's/^Version: //p' | sort -rV); do
    if [ -f "$cache/$candidate/.complete" ] ||
        (cd "$work" && apt-get "${apt_options[@]}" -qq --download-only source \
            "openssl=$candidate" >/dev/null 2>&1); then
        version="$candidate"
        break
    fi
    rm -rf "${work:?}"/*
done
[ -n "$version" ] || { echo "windows-openssl.sh: no openssl source package to fetch" >&2; exit 1; }

prefix="$cache/$version"
if [ ! -f "$prefix/.complete" ]; then
    (cd "$work" && dpkg-source -x --no-check ./*.dsc >&2)
    source_dir="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'openssl-*' | head -n 1)"
    rm -rf "$prefix"
    # Libraries only; TLS 1.3 and the exporter need nothing of what is left out.
    (cd "$source_dir" &&
        ./Configure mingw64 no-shared no-tests no-module no-legacy no-dso no-engine \
            --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$prefix" --libdir=lib \
            --openssldir="$prefix/ssl" >&2 &&
        make -j"$(nproc)" build_libs >&2 &&
        make install_dev >&2)
    touch "$prefix/.complete"
fi
echo "$prefix"
