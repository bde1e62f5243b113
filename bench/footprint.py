#!/usr/bin/python3
"""Footprint of the desktop program and korvel-cli next to a minimal Qt Widgets window.

Started by bench/footprint inside a network namespace of its own (unshare --net), where
korvel-test-responder answers on 127.0.0.1:123. Every window runs on Qt's offscreen
platform. Memory and processor time are read from /proc/PID of each process, from outside.
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
    except Stop as stop:
        print(f"\nbench/footprint: stopped by {stop}", file=sys.stderr)
        return 130
    finally:
        if responder is not None:
            responder.terminate()
            responder.wait()
    report(program, driver, baseline, peaks, args.measurements, args.idle)
    print(f"\nload at the end {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
