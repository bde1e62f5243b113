# Shared by the benchmarks: root, packages, build, the peers' private copies.
# Sourced; expects $root (the repository) to be set.

build="${KORVEL_BUILD_DIR:-$root/build}"

# Namespaces and the peers' sockets need root.
bench_need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        exec sudo --preserve-env=KORVEL_BUILD_DIR,KORVEL_WERROR "$0" "$@"
    fi
}

# The peers are queried, never installed as services: ntpdig only queries; chronyd comes out
# of its package below. The libraries are chronyd's own dependencies.
bench_packages=(python3 ntpsec-ntpdig faketime libfaketime libcap2 libedit2 libgnutls30
    libnettle8 libseccomp2 iproute2 util-linux)

bench_install() {
    "$root/dev" install "${bench_packages[@]}" "$@"
}

# bench_build TARGET...: configures a new build folder as ./dev does (an existing one keeps
# its settings) and builds the targets.
bench_build() {
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DKORVEL_WERROR="${KORVEL_WERROR:-OFF}" >/dev/null
    fi
    cmake --build "$build" --target "$@"
}

# bench_private_binary PACKAGE PATH: prints the path of PATH (inside the package) taken out of
# Debian's package into a folder of the build. The package is never installed: on a machine
# with systemd that would start a daemon steering the clock.
bench_private_binary() {
    echo "$("$root/tests/integration/private_peer.sh" "$1" "$build/bench/peers")/$2"
}

bench_private_chronyd() {
    bench_private_binary chrony usr/sbin/chronyd
}

bench_faketime_library() {
    dpkg -L libfaketime | grep -m1 '/libfaketime\.so\.1$'
}
