#!/usr/bin/python3
"""Accuracy of korvel-cli next to ntpdig and chronyd -Q, in network namespaces of its own.

Started by bench/accuracy, which installs and builds what this needs. Layout:

    client namespace 198.18.0.1        this script and every client tool
        |  veth
    server namespace 198.18.0.2:123    korvel-test-relay (the impairment), forwarding to
                     198.18.0.3:1123   korvel-test-responder --offset OFFSET, or
                     198.18.0.3:1124   chronyd -x serving its own clock, seen through
                                       libfaketime as the real clock plus OFFSET (the
                                       kernel's receive times shifted alike)

Every tool asks 198.18.0.2 port 123, so all of them cross the same relay, started afresh for
each run with the trial's seed: the tools of one trial meet the same packet fates. The relay
holds every packet 1 ms each way, timed from the kernel's arrival stamp, so its own wake-ups
add nothing. Without the relay (conditions "direct", "direct+load") the server namespace's
kernel forwards that address to the server. Under the loaded conditions one busy process per
core competes with the client tools for the processors, and the relay and the servers run at
real-time priority, as the other machines they stand for. No process started here may set
the clock: each runs without CAP_SYS_TIME in its bounding set, the peers in their query-only
modes (ntpdig without -s/-S, chronyd -Q -x), and chronyd from the private folder given by
--chronyd.
"""

import argparse
import ctypes
import json
import os
import re
import selectors
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

CLIENT_ADDRESS = "198.18.0.1"
RELAY_ADDRESS = "198.18.0.2"
SERVER_ADDRESS = "198.18.0.3"
RESPONDER_PORT = 1123
CHRONYD_PORT = 1124
NAMESPACE_PREFIX = "kvbench"
CLONE_NEWNET = 0x40000000
NTP_UNIX_EPOCH = 2208988800

# Condition and its label. Loss is of the round trip, split between the directions.
CONDITIONS = {
    "clean": "clean link",
    "clean+load": "clean link, every core busy",
    "direct": "clean link without the relay",
    "direct+load": "without the relay, every core busy",
    "jitter20": "20 ms +- 5 ms jitter",
    "asym10-40+loss10": "10 ms up / 40 ms down, 10 % loss",
    "jitter200+loss30": "200 ms +- 50 ms jitter, 30 % loss",
}
# The relay's condition where it is not the bench's own; these conditions also keep every
# core busy while they run.
LOADED_CONDITIONS = {"clean+load": "clean", "direct+load": None}
# Without the relay the server namespace's kernel forwards the requests to the server (NAT):
# no process in the path at all.
DIRECT_CONDITIONS = {"direct", "direct+load"}
# The relay holds every packet this long each way, as the wire between two machines would:
# long enough to hide its own wake-up (tens of microseconds), which otherwise was slower for a
# request after 100 ms of quiet than for the reply at once after it.
WIRE_MS = 1.0
# Half the path asymmetry: the error no tool can see, let alone remove.
ASYMMETRY_ERROR_SEC = 0.015
TOOLS = ["korvel", "cli", "ntpdig", "ntpdig-p8", "chronyd"]
PEERS = ["ntpdig", "ntpdig-p8", "chronyd"]
TOOL_LABELS = {
    "korvel": "korvel-cli measure",
    "cli": "--cli korvel-cli",
    "ntpdig": "ntpdig",
    "ntpdig-p8": "ntpdig -p 8",
    "chronyd": "chronyd -Q -x",
}
SERVERS = ["responder", "chronyd"]
SERVER_LABELS = {
    "responder": "korvel-test-responder",
    "chronyd": "chronyd -x under libfaketime",
}
# A tool still running after this long is killed and counted as failed.
TOOL_DEADLINE_SEC = 60


class Stop(Exception):
    """A signal asked the bench to end; the namespaces and processes are removed."""


def on_signal(number, _frame):
    raise Stop(signal.Signals(number).name)


def run(*argv):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def without_clock_right(argv):
    # After this exec not even root may set the clock.
    return ["setpriv", "--bounding-set", "-sys_time", "--inh-caps", "-sys_time", *argv]


class Lab:
    """Two namespaces joined by a veth pair; this process moves into the client one."""

    def __init__(self):
        tag = f"{NAMESPACE_PREFIX}{os.getpid()}"
        self.client = tag + "c"
        self.server = tag + "s"
        self.processes = []
        self.home = None
        self.made = []
        self.libc = ctypes.CDLL(None, use_errno=True)

    def __enter__(self):
        remove_stale_namespaces()
        for name in (self.client, self.server):
            run("ip", "netns", "add", name)
            self.made.append(name)
        a, b = self.client[:-1] + "a", self.client[:-1] + "b"
        run("ip", "link", "add", a, "netns", self.client, "type", "veth", "peer", "name", b,
            "netns", self.server)
        run("ip", "-n", self.client, "link", "set", "lo", "up")
        run("ip", "-n", self.server, "link", "set", "lo", "up")
        run("ip", "-n", self.client, "addr", "add", CLIENT_ADDRESS + "/24", "dev", a)
        run("ip", "-n", self.server, "addr", "add", RELAY_ADDRESS + "/24", "dev", b)
        run("ip", "-n", self.server, "addr", "add", SERVER_ADDRESS + "/24", "dev", b)
        run("ip", "-n", self.client, "link", "set", a, "up")
        run("ip", "-n", self.server, "link", "set", b, "up")
        self.home = os.open("/proc/self/ns/net", os.O_RDONLY)
        self._setns(f"/run/netns/{self.client}")
        return self

    def __exit__(self, *_exc):
        for process in reversed(self.processes):
            stop_process(process)
        if self.home is not None:
            self.libc.setns(self.home, CLONE_NEWNET)
            os.close(self.home)
        for name in self.made:
            subprocess.run(["ip", "netns", "del", name], stderr=subprocess.DEVNULL)
        return False

    def _setns(self, path):
        fd = os.open(path, os.O_RDONLY)
        try:
            if self.libc.setns(fd, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "setns " + path)
        finally:
            os.close(fd)

    def start_in_server(self, argv, env=None, log=None):
        """Starts a program in the server namespace. Without a log file to write to, it is
        one of the test tools, and its 'ready' line is awaited."""
        full = ["ip", "netns", "exec", self.server, *without_clock_right(argv)]
        process = subprocess.Popen(full, stdout=log or subprocess.PIPE,
                                   stderr=subprocess.STDOUT, env=env, text=True)
        self.processes.append(process)
        if log is None:
            line = process.stdout.readline()
            if line.strip() != "ready":
                raise RuntimeError(f"{argv[0]} did not start: {line.strip()}")
        return process

    def stop(self, process):
        stop_process(process)
        self.processes.remove(process)

    @staticmethod
    def set_realtime(processes, on):
        """The relay and the server stand for other machines: while every core is busy they
        run at real-time priority, so the load is the client machine's, not the path's. Idle
        they keep the default policy: at real-time priority the request's way grew slower
        than the reply's here (clean-link error 0.061 ms against 0.017-0.020 ms)."""
        policy, priority = ("--fifo", "20") if on else ("--other", "0")
        for process in processes:
            run("chrt", "--all-tasks", policy, "--pid", priority, str(process.pid))

    def forward_directly(self, port):
        """The relay's address and port lead straight to the server, through the kernel."""
        rules = (f"table ip {NAMESPACE_PREFIX} {{\n chain prerouting {{\n"
                 "  type nat hook prerouting priority -100;\n"
                 f"  ip daddr {RELAY_ADDRESS} udp dport 123 dnat to {SERVER_ADDRESS}:{port}\n"
                 " }\n}\n")
        subprocess.run(["ip", "netns", "exec", self.server, "nft", "-f", "-"], input=rules,
                       text=True, check=True)

    def stop_forwarding(self):
        run("ip", "netns", "exec", self.server, "nft", "delete", "table", "ip",
            NAMESPACE_PREFIX)

    def load_every_core(self):
        """One busy process pinned to each processor this bench may use."""
        busy = []
        for cpu in sorted(os.sched_getaffinity(0)):
            process = subprocess.Popen(
                without_clock_right([sys.executable, "-c", "while True: pass"]),
                preexec_fn=lambda cpu=cpu: os.sched_setaffinity(0, {cpu}))
            self.processes.append(process)
            busy.append(process)
        return busy


def stop_process(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=3)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def remove_stale_namespaces():
    """Namespaces left by a bench that was killed outright (its PID is gone)."""
    listing = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        match = re.fullmatch(rf"{NAMESPACE_PREFIX}(\d+)[cs]", line.split()[0] if line else "")
        if match and not os.path.exists(f"/proc/{match.group(1)}"):
            subprocess.run(["ip", "netns", "del", match.group(0)], stderr=subprocess.DEVNULL)


def sntp_probe(address, port, count=8):
    """Asks the server directly; median offset and delay (s) from this process's clock."""
    offsets, delays = [], []
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.settimeout(1.0)
        for _ in range(count):
            t1 = time.time()
            seconds = int(t1) + NTP_UNIX_EPOCH
            fraction = int((t1 % 1) * 2**32)
            request = bytes([0x23, 0, 6, 0xEC]) + bytes(36) + struct.pack(">II", seconds,
                                                                          fraction)
            sock.sendto(request, (address, port))
            try:
                reply = sock.recv(1024)
            except socket.timeout:
                continue
            t4 = time.time()

            def stamp(at):
                whole, part = struct.unpack(">II", reply[at:at + 8])
                return whole - NTP_UNIX_EPOCH + part / 2**32

            t1_echo, t2, t3 = stamp(24), stamp(32), stamp(40)
            if abs(t1_echo - t1) > 1e-6:
                continue
            offsets.append(((t2 - t1) + (t3 - t4)) / 2)
            delays.append((t4 - t1) - (t3 - t2))
            time.sleep(0.05)
    if not offsets:
        return None, None
    return statistics.median(offsets), statistics.median(delays)


def wait_for_server(port, expected, deadline_sec=10.0):
    """Waits until the server answers, then checks that both its receive and its transmit
    timestamps carry the offset: a delay near zero rules out one of them being unshifted."""
    end = time.monotonic() + deadline_sec
    while time.monotonic() < end:
        offset, delay = sntp_probe(SERVER_ADDRESS, port, count=1)
        if offset is not None:
            break
        time.sleep(0.2)
    offset, delay = sntp_probe(SERVER_ADDRESS, port)
    if offset is None:
        raise RuntimeError(f"no answer from {SERVER_ADDRESS}:{port}")
    if abs(offset - expected) > 0.002 or abs(delay) > 0.005:
        raise RuntimeError(
            f"server on port {port} serves {offset:+.6f} s with delay {delay * 1e3:.3f} ms; "
            f"expected {expected:+.6f} s and a delay near zero")
    return offset, delay


class Result:
    def __init__(self, offset, wall, to_result, status, output=""):
        self.offset = offset  # None: the tool gave no offset
        self.wall = wall
        self.to_result = to_result
        self.status = status
        self.output = output  # standard output


def run_tool(argv, pattern, env=None):
    """Runs a client tool to its end; the offset matched in its output, the wall time and
    the time until that output appeared."""
    start = time.monotonic()
    process = subprocess.Popen(without_clock_right(argv), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=env)
    selector = selectors.DefaultSelector()
    buffers = {}
    for stream in (process.stdout, process.stderr):
        os.set_blocking(stream.fileno(), False)
        selector.register(stream, selectors.EVENT_READ)
        buffers[stream] = b""
    offset = to_result = None
    open_streams = 2
    try:
        while open_streams:
            left = start + TOOL_DEADLINE_SEC - time.monotonic()
            if left <= 0:
                process.kill()
                break
            for key, _ in selector.select(timeout=left):
                chunk = key.fileobj.read()
                if not chunk:
                    selector.unregister(key.fileobj)
                    open_streams -= 1
                    continue
                buffers[key.fileobj] += chunk
                if offset is None:
                    match = pattern.search(buffers[key.fileobj].decode(errors="replace"))
                    if match:
                        offset = float(match.group(1))
                        to_result = time.monotonic() - start
        status = process.wait()
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        selector.close()
    wall = time.monotonic() - start
    if status != 0:
        offset = None
    return Result(offset, wall, to_result if offset is not None else None, status,
                  buffers[process.stdout].decode(errors="replace"))


class Tools:
    def __init__(self, args, scratch):
        self.args = args
        self.scratch = scratch
        # The command-line tool's scratch file goes to a runtime folder of its own.
        runtime = os.path.join(scratch, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        self.korvel_env = dict(os.environ, XDG_RUNTIME_DIR=runtime)

    def measure(self, tool):
        target = RELAY_ADDRESS
        if tool in ("korvel", "cli"):
            cli = self.args.korvel if tool == "korvel" else self.args.cli
            return run_tool([cli, "measure", target],
                            re.compile(r"^offset (\S+) s$", re.M), env=self.korvel_env)
        if tool == "ntpdig":
            return run_tool(["ntpdig", "-j", target], re.compile(r'"offset":\s*(\S+?),'))
        if tool == "ntpdig-p8":
            return run_tool(["ntpdig", "-j", "-p", "8", target],
                            re.compile(r'"offset":\s*(\S+?),'))
        if tool == "chronyd":
            # -Q prints the offset and exits; -x never touches the clock; -t bounds the wait
            # when replies are lost. Directives on the command line: no configuration file.
            return run_tool([self.args.chronyd, "-Q", "-x", "-u", "root", "-t", "20",
                             f"server {target} iburst",
                             f"pidfile {self.scratch}/chronyd-client.pid", "cmdport 0",
                             "bindcmdaddress /"],
                            re.compile(r"System clock wrong by (\S+) seconds"))
        raise ValueError(tool)


def start_server(lab, kind, args, scratch):
    if kind == "responder":
        process = lab.start_in_server([args.responder, "--bind", SERVER_ADDRESS, "--port",
                                       str(RESPONDER_PORT), "--offset", repr(args.offset)])
        port = RESPONDER_PORT
    else:
        config = os.path.join(scratch, "chronyd-server.conf")
        with open(config, "w") as out:
            out.write(f"pidfile {scratch}/chronyd-server.pid\n"
                      f"port {CHRONYD_PORT}\nbindaddress {SERVER_ADDRESS}\n"
                      "cmdport 0\nbindcmdaddress /\n"
                      "local stratum 8\nallow all\n")
        # chronyd reads its clock through libfaketime, which adds the offset to every
        # reading, and the kernel's receive times through the shift module, which adds it
        # to those; -x keeps its hands off the real clock, -d keeps it in the foreground.
        env = dict(os.environ, LD_PRELOAD=f"{args.receive_time_shift} {args.faketime_library}",
                   FAKETIME=f"{args.offset:+}")
        with open(os.path.join(scratch, "chronyd-server.log"), "w") as log:
            process = lab.start_in_server(
                [args.chronyd, "-x", "-d", "-u", "root", "-f", config], env=env, log=log)
        port = CHRONYD_PORT
    served, delay = wait_for_server(port, args.offset)
    print(f"  {SERVER_LABELS[kind]} serves {served:+.6f} s (set {args.offset:+.6f} s), "
          f"direct round trip {delay * 1e3:.3f} ms", flush=True)
    return process, port


def percentile(values, fraction):
    ordered = sorted(values)
    if len(ordered) == 1:
        return ordered[0]
    position = fraction * (len(ordered) - 1)
    low = int(position)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (position - low)


def summarise(results, offset):
    errors = [r.offset - offset for r in results if r.offset is not None]
    absolute = [abs(e) for e in errors]
    to_result = [r.to_result for r in results if r.to_result is not None]
    return {
        "trials": len(results),
        "failures": sum(1 for r in results if r.offset is None),
        "median_abs_error": statistics.median(absolute) if absolute else None,
        # Trial by trial, None where the tool failed: the comparison pairs them.
        "abs_errors": [None if r.offset is None else abs(r.offset - offset) for r in results],
        "p90_abs_error": percentile(absolute, 0.9) if absolute else None,
        "median_error": statistics.median(errors) if errors else None,
        "median_wall": statistics.median(r.wall for r in results),
        "median_to_result": statistics.median(to_result) if to_result else None,
    }


def ms(value):
    return "-" if value is None else f"{value * 1e3:9.3f}"


def print_table(server, conditions, tools, summary):
    print(f"\nServer: {SERVER_LABELS[server]}")
    print(f"{'condition':36} {'tool':20} {'median|err|':>11} {'p90|err|':>10} "
          f"{'median err':>10} {'failed':>7} {'wall':>7} {'result':>7}")
    print(f"{'':36} {'':20} {'ms':>11} {'ms':>10} {'ms':>10} {'':>7} {'s':>7} {'s':>7}")
    for condition in conditions:
        for tool in tools:
            s = summary[server][condition][tool]
            result = "-" if s["median_to_result"] is None else f"{s['median_to_result']:.2f}"
            print(f"{CONDITIONS[condition]:36} {TOOL_LABELS[tool]:20} "
                  f"{ms(s['median_abs_error']):>11} {ms(s['p90_abs_error']):>10} "
                  f"{ms(s['median_error']):>10} {s['failures']:>3}/{s['trials']:<3} "
                  f"{s['median_wall']:7.2f} {result:>7}")
    if "korvel" not in tools or not any(t in PEERS for t in tools):
        return
    print("\nKORVEL's median |error| / best peer's:")
    for condition in conditions:
        ratio = best_peer_ratio(summary[server], condition, "korvel")
        if ratio is None:
            print(f"  {CONDITIONS[condition]:36} -")
            continue
        best, best_tool = best_peer(summary[server], condition)
        print(f"  {CONDITIONS[condition]:36} {ratio:6.2f}   "
              f"(best peer {TOOL_LABELS[best_tool]}, {best * 1e3:.3f} ms)")


def best_peer(rows, condition):
    """The smallest median |error| of the peers and whose it is; None without figures."""
    peers = [(rows[condition][t]["median_abs_error"], t) for t in PEERS
             if t in rows[condition] and rows[condition][t]["median_abs_error"] is not None]
    return min(peers) if peers else None


def best_peer_ratio(rows, condition, tool):
    """The tool's median |error| over the best peer's; None without figures."""
    own = rows[condition][tool]["median_abs_error"]
    best = best_peer(rows, condition)
    if own is None or best is None:
        return None
    return own / best[0] if best[0] > 0 else float("inf")


def paired_difference(new, old):
    """Mean and standard error of this build's |error| minus --cli's, trial by trial. The two
    met the same packet fates in each trial, so equal builds show a difference near zero
    where two medians of a few trials may still differ by chance. None below two pairs."""
    pairs = [a - b for a, b in zip(new["abs_errors"], old["abs_errors"])
             if a is not None and b is not None]
    if len(pairs) < 2:
        return None
    return statistics.mean(pairs), statistics.stdev(pairs) / len(pairs) ** 0.5


def print_comparison(servers, conditions, summary):
    """This build's korvel-cli next to the one given with --cli, from the same run."""
    print("\nThis build against --cli (median |error| ms, median signed error ms in brackets; "
          "paired: mean of this build's |error| minus --cli's, trial by trial, +- its "
          "standard error, ms):")
    for server in servers:
        for condition in conditions:
            new = summary[server][condition]["korvel"]
            old = summary[server][condition]["cli"]

            def figure(s):
                if s["median_abs_error"] is None:
                    return "-"
                return f"{s['median_abs_error'] * 1e3:.3f} ({s['median_error'] * 1e3:+.3f})"

            ratio = "-"
            if new["median_abs_error"] is not None and old["median_abs_error"]:
                ratio = f"{new['median_abs_error'] / old['median_abs_error']:.2f}"
            paired = paired_difference(new, old)
            paired = "-" if paired is None else f"{paired[0] * 1e3:+.3f} +- {paired[1] * 1e3:.3f}"
            print(f"  [{server}] {CONDITIONS[condition]:34} --cli {figure(old):>18}   "
                  f"this build {figure(new):>18}   ratio {ratio}   paired {paired}")


def print_targets(servers, conditions, tools, summary):
    if "korvel" not in tools:
        return
    print("\nTargets (KORVEL):")
    for server in servers:
        rows = summary[server]

        def korvel(condition, tool="korvel"):
            if condition not in rows or tool not in rows[condition]:
                return None
            return rows[condition][tool]["median_abs_error"]

        def verdict(ok):
            return "met" if ok else "NOT met"

        clean, ntpdig = korvel("clean"), korvel("clean", "ntpdig")
        if clean is not None:
            line = f"  [{server}] clean median |error| < 0.02 ms"
            ok = clean < 0.00002
            if ntpdig is not None:
                line += f" and below plain ntpdig's ({ntpdig * 1e3:.3f} ms)"
                ok = ok and clean < ntpdig
            print(f"{line}: {clean * 1e3:.3f} ms, {verdict(ok)}")
        loaded, loaded_before = korvel("clean+load"), korvel("clean+load", "cli")
        if loaded is not None and loaded_before:
            print(f"  [{server}] every core busy, median |error| at most half of --cli's "
                  f"({loaded_before * 1e3:.3f} ms): {loaded * 1e3:.3f} ms, "
                  f"{verdict(loaded <= loaded_before / 2)}")
        if "jitter20" in rows:
            ratio = best_peer_ratio(rows, "jitter20", "korvel")
            before = best_peer_ratio(rows, "jitter20", "cli") if "cli" in tools else None
            if ratio is not None and before is not None:
                print(f"  [{server}] jitter, median |error| / best peer's no worse than "
                      f"--cli's ({before:.2f}): {ratio:.2f}, {verdict(ratio <= before)}")
        asym = korvel("asym10-40+loss10")
        if asym is not None:
            gap = abs(asym - ASYMMETRY_ERROR_SEC)
            print(f"  [{server}] asymmetry median |error| within 1 ms of half the asymmetry "
                  f"({ASYMMETRY_ERROR_SEC * 1e3:.0f} ms): {asym * 1e3:.3f} ms, "
                  f"{verdict(gap <= 0.001)}")
        if "clean" in rows and rows["clean"]["korvel"]["median_to_result"] is not None:
            value = rows["clean"]["korvel"]["median_to_result"]
            print(f"  [{server}] 25 replies evaluated within 2.6 s of the start (clean): "
                  f"{value:.3f} s, {verdict(value <= 2.6)}")


def parse_arguments():
    parser = argparse.ArgumentParser(prog="bench/accuracy", description=__doc__.split("\n")[0])
    parser.add_argument("--trials", type=int, default=20, help="trials per tool and condition")
    parser.add_argument("--offset", type=float, default=3.25,
                        help="server clock minus real clock, seconds (default 3.25)")
    parser.add_argument("--servers", default=",".join(SERVERS),
                        help="comma-separated: " + ", ".join(SERVERS))
    parser.add_argument("--conditions", default=",".join(CONDITIONS),
                        help="comma-separated: " + ", ".join(CONDITIONS))
    parser.add_argument("--tools", default=",".join(t for t in TOOLS if t != "cli"),
                        help="comma-separated: " + ", ".join(TOOLS) + " (cli joins "
                        "this build's korvel-cli when --cli is given)")
    parser.add_argument("--seed", type=int, default=1, help="first relay seed")
    parser.add_argument("--json", help="also write every trial to this file")
    parser.add_argument("--cli", help="another build's korvel-cli, measured as tool cli in "
                        "turn with this build's")
    parser.add_argument("--korvel", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--responder", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--relay", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--chronyd", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--faketime-library", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--receive-time-shift", required=True, help=argparse.SUPPRESS)
    args = parser.parse_args()
    for name, allowed in (("servers", SERVERS), ("conditions", CONDITIONS), ("tools", TOOLS)):
        chosen = getattr(args, name).split(",")
        unknown = [c for c in chosen if c not in allowed]
        if unknown:
            parser.error(f"unknown {name}: {', '.join(unknown)}")
        setattr(args, name, chosen)
    if args.cli and "cli" not in args.tools:
        at = args.tools.index("korvel") + 1 if "korvel" in args.tools else 0
        args.tools.insert(at, "cli")
    if "cli" in args.tools and not args.cli:
        parser.error("tool cli needs --cli PATH")
    return args


def clock_step_sec():
    """Real-time minus monotonic clock: constant unless something set the clock."""
    return time.clock_gettime(time.CLOCK_REALTIME) - time.clock_gettime(time.CLOCK_MONOTONIC)


def main():
    args = parse_arguments()
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, on_signal)
    print(f"bench/accuracy: {args.trials} trials, server offset {args.offset:+.6f} s, "
          f"load {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} {os.getloadavg()[2]:.2f}",
          flush=True)
    clock_before = clock_step_sec()
    summary = {}
    trials = []
    try:
        with tempfile.TemporaryDirectory(prefix="korvel-bench-") as scratch, Lab() as lab:
            tools = Tools(args, scratch)
            for server in args.servers:
                summary[server] = {}
                process, port = start_server(lab, server, args, scratch)
                for index, condition in enumerate(args.conditions):
                    loaded = condition in LOADED_CONDITIONS
                    busy = []
                    if condition in DIRECT_CONDITIONS:
                        lab.forward_directly(port)
                    if loaded:
                        lab.set_realtime([process], True)
                        busy = lab.load_every_core()
                    results = {tool: [] for tool in args.tools}
                    for trial in range(args.trials):
                        for tool in args.tools:
                            # Every tool of a trial meets the same packet fates, from a relay
                            # of its own with the trial's seed, so the tools are compared on
                            # the same network rather than on luck.
                            relay = None
                            if condition not in DIRECT_CONDITIONS:
                                relay = lab.start_in_server(
                                    [args.relay, "--listen", f"{RELAY_ADDRESS}:123",
                                     "--upstream", f"{SERVER_ADDRESS}:{port}", "--condition",
                                     LOADED_CONDITIONS.get(condition, condition), "--seed",
                                     str(args.seed + index * args.trials + trial),
                                     "--wire-ms", str(WIRE_MS)])
                                if loaded:
                                    lab.set_realtime([relay], True)
                            result = tools.measure(tool)
                            if relay is not None:
                                lab.stop(relay)
                            results[tool].append(result)
                            trials.append({"server": server, "condition": condition,
                                           "tool": tool, "trial": trial + 1,
                                           "offset": result.offset, "wall": result.wall,
                                           "to_result": result.to_result,
                                           "status": result.status})
                        if sys.stdout.isatty():
                            print(f"\r  {server} / {condition}: trial {trial + 1}/"
                                  f"{args.trials}", end="", flush=True)
                    print(f"\r  {server} / {condition}: {args.trials} trials done", flush=True)
                    for hog in busy:
                        lab.stop(hog)
                    if loaded:
                        lab.set_realtime([process], False)
                    if condition in DIRECT_CONDITIONS:
                        lab.stop_forwarding()
                    summary[server][condition] = {
                        tool: summarise(results[tool], args.offset) for tool in args.tools}
                lab.stop(process)
    except Stop as stop:
        print(f"\nbench/accuracy: stopped by {stop}; namespaces removed", file=sys.stderr)
        return 130
    for server in args.servers:
        print_table(server, args.conditions, args.tools, summary)
    if "korvel" in args.tools and "cli" in args.tools:
        print_comparison(args.servers, args.conditions, summary)
    print_targets(args.servers, args.conditions, args.tools, summary)
    step = clock_step_sec() - clock_before
    print(f"\nload at the end {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} "
          f"{os.getloadavg()[2]:.2f}; the system clock moved {step * 1e3:+.3f} ms against "
          "the monotonic clock during the run (by whatever disciplines it, never by the bench)")
    if args.json:
        with open(args.json, "w") as out:
            json.dump({"offset": args.offset, "summary": summary, "trials": trials}, out,
                      indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
