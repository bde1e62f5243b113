#!/usr/bin/python3
"""Footprint of the desktop program and korvel-cli next to a minimal Qt Widgets window.

Started by bench/footprint inside a network namespace of its own (unshare --net), where
korvel-test-responder answers on 127.0.0.1:123. Every Qt window runs on Qt's offscreen
platform. Memory and processor time are read from /proc/PID of each process, from outside.
With --windows, the Windows build's korvel.exe runs under Wine on a virtual X display too;
its memory is that of the Wine process running korvel.exe (not wineserver's nor Wine's
helper processes), and each of its measurements is pressed with Alt+C and counted as done
when the namespace's UDP counters have moved and then stood still for a second.
"""

import argparse
import os
import re
import selectors
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

SETTLE_SEC = 2.0  # after the first frame, before the start-up memory is read
LAUNCHES = 5  # launches whose time to the first window is taken (after one warm-up)


class Stop(Exception):
    pass


def on_signal(number, _frame):
    raise Stop(signal.Signals(number).name)


def without_clock_right(argv):
    return ["setpriv", "--bounding-set", "-sys_time", *argv]


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"^VmRSS:\s+(\d+) kB", status.read(), re.M).group(1))


def cpu_sec(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime


class Window:
    """A window program on the offscreen platform, talked to through its standard streams."""

    def __init__(self, argv, env):
        env = dict(env, KORVEL_BENCH_LAUNCH_NS=str(time.monotonic_ns()))
        self.process = subprocess.Popen(without_clock_right(argv), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, env=env, text=True)
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.process.stdout, selectors.EVENT_READ)
        self.pending = b""

    def line(self, timeout):
        """The next line it prints, or None after timeout seconds or at its end. Reads the
        pipe directly: a buffered reader would hide a second waiting line from select()."""
        end = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = end - time.monotonic()
            if left <= 0 or not self.selector.select(left):
                return None
            chunk = os.read(self.process.stdout.fileno(), 4096)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode().strip()

    def expect(self, prefix, timeout):
        end = time.monotonic() + timeout
        line = ""
        while line is not None and not line.startswith(prefix):
            line = self.line(end - time.monotonic())
        if line is None:
            raise RuntimeError(f"{self.process.args[3]}: no '{prefix}' line")
        return line

    def send(self, text):
        self.process.stdin.write(text + "\n")
        self.process.stdin.flush()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=3)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.selector.close()


def first_window_ms(argv, env):
    """Median time from launch to the first painted window, after one warm-up launch."""
    times = []
    for launch in range(LAUNCHES + 1):
        window = Window(argv, env)
        try:
            shown = float(window.expect("shown", 30).split()[1])
        finally:
            window.close()
        if launch > 0:
            times.append(shown)
    return statistics.median(times)


def idle_figures(pid, idle_sec):
    time.sleep(SETTLE_SEC)
    start_rss = rss_kb(pid)
    cpu_before = cpu_sec(pid)
    time.sleep(idle_sec)
    idle_cpu = cpu_sec(pid) - cpu_before
    return start_rss, idle_cpu


def peak_rss_kb(argv, env=None):
    """Peak resident memory of one run of a command, and whether it succeeded."""
    process = subprocess.Popen(without_clock_right(argv), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_maxrss, process.returncode == 0


def measure_window(name, argv, env, idle_sec, measurements):
    figures = {"name": name}
    figures["first_window_ms"] = first_window_ms(argv, env)
    window = Window(argv, env)
    try:
        window.expect("shown", 30)
        pid = window.process.pid
        figures["start_rss_kb"], figures["idle_cpu_sec"] = idle_figures(pid, idle_sec)
        print(f"  {name}: first window {figures['first_window_ms']:.1f} ms, "
              f"{figures['start_rss_kb']} kB after start-up, "
              f"{figures['idle_cpu_sec'] * 1e3:.0f} ms processor time in {idle_sec:.0f} s idle",
              flush=True)
        if measurements:
            window.send(f"measure {measurements}")
            figures["rss_after_kb"] = {}
            failures = 0
            for done in range(1, measurements + 1):
                line = window.expect("measured", 30)
                if not line.rstrip().endswith("秒"):
                    failures += 1
                if done in (1, 10, 50, measurements):
                    figures["rss_after_kb"][done] = rss_kb(pid)
                    print(f"  {name}: measurement {done}, {rss_kb(pid)} kB "
                          f"(last: {line.split(' ', 2)[2]})", flush=True)
            window.expect("done", 10)
            figures["failures"] = failures
    finally:
        window.close()
    return figures


def measure_program(argv, env, idle_sec):
    """The program's own executable: start-up memory and idle processor time, read from
    outside (its first frame is not observable without the driver)."""
    process = subprocess.Popen(without_clock_right(argv), stdout=subprocess.DEVNULL, env=env)
    try:
        start_rss, idle_cpu = idle_figures(process.pid, idle_sec)
    finally:
        process.terminate()
        process.wait()
    print(f"  korvel: {start_rss} kB after start-up, {idle_cpu * 1e3:.0f} ms processor time "
          f"in {idle_sec:.0f} s idle", flush=True)
    return {"start_rss_kb": start_rss, "idle_cpu_sec": idle_cpu}


def program_folder(scratch, name, executable):
    """A folder holding the executable and an sntp.cfg naming the local responder."""
    folder = os.path.join(scratch, name)
    os.makedirs(folder)
    shutil.copy2(executable, folder)
    with open(os.path.join(folder, "sntp.cfg"), "w") as cfg:
        cfg.write(f"SNTP {'127.0.0.1':<15} {'1231':<4}\n")
    return os.path.join(folder, os.path.basename(executable))


def cli_peaks(args, env, runs=5):
    commands = {
        "korvel-cli measure": [args.cli, "measure", "127.0.0.1"],
        "ntpdig": ["ntpdig", "127.0.0.1"],
        "chronyd -Q -x": [args.chronyd, "-Q", "-x", "-u", "root", "-t", "20",
                          "server 127.0.0.1 iburst", f"pidfile {args.scratch}/chronyd.pid",
                          "cmdport 0", "bindcmdaddress /"],
    }
    peaks = {}
    for name, argv in commands.items():
        results = [peak_rss_kb(argv, env) for _ in range(runs)]
        peaks[name] = (statistics.median(r[0] for r in results), sum(not r[1] for r in results))
        print(f"  {name}: peak {peaks[name][0]:.0f} kB", flush=True)
    return peaks


def udp_datagrams_in():
    """Datagrams received in this network namespace so far: the responder's requests plus
    the program's replies."""
    with open("/proc/net/snmp") as snmp:
        names, values = [line.split() for line in snmp if line.startswith("Udp:")][:2]
    return int(values[names.index("InDatagrams")])


def stripped_size(path, strip):
    with tempfile.NamedTemporaryFile() as copy:
        subprocess.run([strip, "-o", copy.name, path], check=True)
        return os.path.getsize(copy.name)


class Wine:
    """A Wine prefix and a virtual display inside the Windows build folder, for the time of
    the bench; every Wine program starts through scripts/wine-run."""

    def __init__(self, args, env):
        self.wine_run = args.wine_run
        self.work = os.path.join(args.windows, f"bench-footprint.{os.getpid()}")
        self.prefix = os.path.join(self.work, "prefix")
        os.makedirs(self.work)
        self.env = dict(env, DISPLAY=f":{150 + os.getpid() % 100}")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.helpers = [subprocess.Popen(["Xvfb", self.env["DISPLAY"], "-screen", "0",
                                          "1024x768x24", "-nolisten", "tcp"],
                                         stderr=subprocess.DEVNULL)]
        while self.xdotool("getdisplaygeometry") is None:
            time.sleep(0.1)
        self.helpers.append(subprocess.Popen(["openbox"], env=self.env,
                                             stderr=subprocess.DEVNULL))
        subprocess.run([self.wine_run, self.prefix, "wineboot", "-i"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def xdotool(self, *argv):
        done = subprocess.run(["xdotool", *argv], env=self.env, capture_output=True, text=True)
        return done.stdout.split() if done.returncode == 0 else None

    def start(self, exe):
        """Starts exe; returns the launcher, the PID running exe, the seconds to its first
        visible window and the window."""
        launched = time.monotonic()
        launcher = subprocess.Popen([self.wine_run, self.prefix, exe], env=self.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = None
        while window is None:
            if time.monotonic() - launched > 60:
                raise RuntimeError(f"{exe}: no window under Wine")
            window = self.xdotool("search", "--onlyvisible", "--name", "^KORVEL")
            time.sleep(0.005)
        shown = time.monotonic() - launched
        return launcher, self.pid_running(os.path.basename(exe)), shown, window[0]

    def pid_running(self, name):
        for entry in os.listdir("/proc"):
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                    argv0 = cmdline.read().split(b"\0")[0].decode(errors="replace")
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    ours = f"WINEPREFIX={self.prefix}".encode() in environ.read().split(b"\0")
            except (OSError, ValueError):
                continue
            if ours and argv0.replace("\\", "/").endswith("/" + name):
                return int(entry)
        raise RuntimeError(f"no Wine process runs {name}")

    def stop(self, launcher, pid):
        os.kill(pid, signal.SIGTERM)
        launcher.wait()
        while self.xdotool("search", "--onlyvisible", "--name", "^KORVEL"):
            time.sleep(0.05)

    def close(self):
        subprocess.run(without_clock_right(["env", f"WINEPREFIX={self.prefix}", "wineserver",
                                            "-k"]), stderr=subprocess.DEVNULL)
        for helper in self.helpers:
            helper.terminate()
            helper.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def burst_ends(press):
    """Presses for a measurement and waits until the namespace's datagrams (requests and
    replies) have started and then stopped for a second; False if none came within 20 s."""
    before = udp_datagrams_in()
    press()
    end = time.monotonic() + 20
    while udp_datagrams_in() == before:
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    seen = None
    while seen != udp_datagrams_in():
        seen = udp_datagrams_in()
        time.sleep(1)
    return True


def measure_windows(args, env, idle_sec, measurements):
    """korvel.exe under Wine: time to its first visible window, memory after start-up and
    after the measurements, idle processor time; and the executables' sizes."""
    build = args.windows
    figures = {"size": {}}
    for name, windows, linux in (("korvel", "src/app/korvel.exe", args.program),
                                 ("korvel-cli", "src/app/korvel-cli.exe", args.cli)):
        exe = os.path.join(build, windows)
        figures["size"][name] = (os.path.getsize(linux), stripped_size(linux, "strip"),
                                 os.path.getsize(exe),
                                 stripped_size(exe, "x86_64-w64-mingw32-strip"))
    wine = Wine(args, env)
    try:
        exe = program_folder(wine.work, "program", os.path.join(build, "src/app/korvel.exe"))
        times = []
        for launch in range(LAUNCHES + 1):
            launcher, pid, shown, _ = wine.start(exe)
            wine.stop(launcher, pid)
            if launch > 0:
                times.append(shown * 1e3)
        figures["first_window_ms"] = statistics.median(times)
        launcher, pid, _, window = wine.start(exe)
        figures["start_rss_kb"], figures["idle_cpu_sec"] = idle_figures(pid, idle_sec)
        print(f"  korvel.exe under Wine: first window {figures['first_window_ms']:.0f} ms, "
              f"{figures['start_rss_kb']} kB after start-up, "
              f"{figures['idle_cpu_sec'] * 1e3:.0f} ms processor time in {idle_sec:.0f} s idle",
              flush=True)
        wine.xdotool("windowactivate", "--sync", window)
        figures["rss_after_kb"] = {}
        failures = 0
        for done in range(1, measurements + 1):
            failures += not burst_ends(lambda: wine.xdotool("key", "--window", window, "alt+c"))
            if done in (1, 10, 50, measurements):
                figures["rss_after_kb"][done] = rss_kb(pid)
                print(f"  korvel.exe under Wine: measurement {done}, {rss_kb(pid)} kB",
                      flush=True)
        figures["failures"] = failures
        wine.stop(launcher, pid)
    finally:
        wine.close()
    return figures


def report_windows(program, driver, windows, measurements, idle_sec):
    print("\nWindows build under Wine (Xvfb, openbox) next to the Qt build; figures under Wine "
          "indicate, they do not measure Windows")
    print(f"{'':44} {'Qt':>12} {'Wine':>12}")
    for name, (linux, linux_stripped, exe, exe_stripped) in windows["size"].items():
        print(f"{f'{name} executable (as built)':44} {mb(linux / 1024):>12} {mb(exe / 1024):>12}")
        print(f"{f'{name} executable (stripped)':44} {mb(linux_stripped / 1024):>12} "
              f"{mb(exe_stripped / 1024):>12}")
    print(f"{'resident memory after start-up':44} {mb(program['start_rss_kb']):>12} "
          f"{mb(windows['start_rss_kb']):>12}")
    for done in sorted(windows["rss_after_kb"]):
        label = f"resident memory after {done} measurement{'s' if done > 1 else ''}"
        qt = driver.get("rss_after_kb", {}).get(done)
        print(f"{label:44} {mb(qt) if qt else '':>12} {mb(windows['rss_after_kb'][done]):>12}")
    print(f"{f'processor time over {idle_sec:.0f} s idle':44} "
          f"{program['idle_cpu_sec'] * 1e3:>9.0f} ms {windows['idle_cpu_sec'] * 1e3:>9.0f} ms")
    print(f"{'launch to first window (median of 5)':44} {driver['first_window_ms']:>9.1f} ms "
          f"{windows['first_window_ms']:>9.1f} ms")
    print(f"{'failed measurements':44} {'':>12} {windows['failures']:>9}/{measurements:<2}")
    print("  (Qt: memory of korvel and the driver's first frame on the offscreen platform; Wine: "
          "the Wine process running korvel.exe, first visible X window)")


def mb(kb):
    return f"{kb / 1024:.1f} MB"


def report(program, driver, baseline, peaks, measurements, idle_sec):
    print("\nDesktop program (offscreen platform) next to a minimal Qt Widgets window")
    print(f"{'':44} {'korvel':>12} {'driver':>12} {'minimal':>12}")
    print(f"{'resident memory after start-up':44} {mb(program['start_rss_kb']):>12} "
          f"{mb(driver['start_rss_kb']):>12} {mb(baseline['start_rss_kb']):>12}")
    after = driver["rss_after_kb"]
    for done in sorted(after):
        label = f"resident memory after {done} measurement{'s' if done > 1 else ''}"
        print(f"{label:44} {'':>12} "
              f"{mb(after[done]):>12} {'':>12}")
    print(f"{f'processor time over {idle_sec:.0f} s idle':44} "
          f"{program['idle_cpu_sec'] * 1e3:>9.0f} ms {driver['idle_cpu_sec'] * 1e3:>9.0f} ms "
          f"{baseline['idle_cpu_sec'] * 1e3:>9.0f} ms")
    print(f"{'  as a share of one core':44} "
          f"{program['idle_cpu_sec'] / idle_sec * 100:>11.3f}% "
          f"{driver['idle_cpu_sec'] / idle_sec * 100:>11.3f}% "
          f"{baseline['idle_cpu_sec'] / idle_sec * 100:>11.3f}%")
    print(f"{'launch to first painted window (median of 5)':44} {'':>12} "
          f"{driver['first_window_ms']:>9.1f} ms {baseline['first_window_ms']:>9.1f} ms")
    print(f"{'failed measurements':44} {'':>12} {driver['failures']:>9}/{measurements:<2}")
    print("\nPeak resident memory of one measurement from the command line (median of 5)")
    for name, (peak, failed) in peaks.items():
        print(f"  {name:24} {mb(peak):>10}" + (f"   ({failed} failed)" if failed else ""))

    def verdict(ok):
        return "met" if ok else "NOT met"

    growth = after[max(after)] - after[min(after)]
    idle_share = driver["idle_cpu_sec"] / idle_sec * 100
    print("\nTargets:")
    print(f"  idle processor time under 0.2 % of a core: {idle_share:.3f} % (driver), "
          f"{program['idle_cpu_sec'] / idle_sec * 100:.3f} % (korvel), "
          f"{verdict(max(idle_share, program['idle_cpu_sec'] / idle_sec * 100) < 0.2)}")
    largest = max([driver["start_rss_kb"], program["start_rss_kb"], *after.values()])
    print(f"  window resident memory under 45 MB: largest {mb(largest)}, "
          f"{verdict(largest < 45 * 1024)}")
    print(f"  no growth over {measurements} measurements: {growth:+d} kB from measurement "
          f"{min(after)} to {max(after)}, {verdict(growth <= 0)}")
    print(f"  start to first window under 300 ms: {driver['first_window_ms']:.1f} ms, "
          f"{verdict(driver['first_window_ms'] < 300)}")


def main():
    parser = argparse.ArgumentParser(prog="bench/footprint", description=__doc__.split("\n")[0])
    parser.add_argument("--idle", type=float, default=60, help="idle seconds (default 60)")
    parser.add_argument("--measurements", type=int, default=100,
                        help="measurements the driver clicks (default 100)")
    for hidden in ("program", "driver", "minimal", "cli", "responder", "chronyd"):
        parser.add_argument("--" + hidden, required=True, help=argparse.SUPPRESS)
    for hidden in ("windows", "wine-run"):
        parser.add_argument("--" + hidden, help=argparse.SUPPRESS)
    args = parser.parse_args()
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, on_signal)

    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    print(f"bench/footprint: load {' '.join(f'{x:.2f}' for x in os.getloadavg())}", flush=True)
    responder = None
    try:
        with tempfile.TemporaryDirectory(prefix="korvel-footprint-") as scratch:
            args.scratch = scratch
            runtime = os.path.join(scratch, "runtime")
            os.makedirs(runtime, mode=0o700)
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)
            responder = subprocess.Popen(
                without_clock_right([args.responder, "--bind", "127.0.0.1", "--port", "123",
                                     "--offset", "2.25"]), stdout=subprocess.PIPE, text=True)
            if responder.stdout.readline().strip() != "ready":
                raise RuntimeError("the responder did not start")

            baseline = measure_window("minimal window", [args.minimal], env, args.idle, 0)
            program = measure_program([program_folder(scratch, "program", args.program)], env,
                                      args.idle)
            driver = measure_window("driver", [program_folder(scratch, "driver", args.driver)],
                                    env, args.idle, args.measurements)
            peaks = cli_peaks(args, dict(env, XDG_RUNTIME_DIR=runtime))
            windows = (measure_windows(args, env, args.idle, args.measurements)
                       if args.windows else None)
    except Stop as stop:
        print(f"\nbench/footprint: stopped by {stop}", file=sys.stderr)
        return 130
    finally:
        if responder is not None:
            responder.terminate()
            responder.wait()
    report(program, driver, baseline, peaks, args.measurements, args.idle)
    if windows is not None:
        report_windows(program, driver, windows, args.measurements, args.idle)
    print(f"\nload at the end {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
