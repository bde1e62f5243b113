#!/usr/bin/python3
"""Public-server behaviour: korvel-cli next to ntpdig and chronyd -Q against real daemons.

Started by bench/servers, which installs and builds what this needs. Layout: one client
namespace (this script and every client tool) joined by a veth pair to each server's own
namespace, subnet 198.18.K.0/24, the client at 198.18.K.1 and the server at 198.18.K.2:

    chrony-rl   chronyd -x, `ratelimit interval 3 burst 8` (its defaults)
    ntpd-kod    ntpsec's ntpd, `restrict default kod limited` (its `limit` defaults)
    ntpd-8s     the same with `limit average 0.125`: one packet per 8 s
    absent      nothing answers: an nftables rule drops every request
    lossy       chronyd -x behind korvel-test-relay losing 30 % of the round trips
    wrong       chronyd -x one hour ahead
    chrony-nts  chronyd -x serving NTS (key exchange on port 4460)
    ntpd-nts    ntpsec's ntpd serving NTS, orphan mode, no limits

The NTS servers' certificate comes from a CA made for the bench in its scratch folder, as the
NTS integration tests make theirs; korvel-cli trusts it with --nts-ca and names the server as
nts:ADDRESS in the "-nts" cells, and asks the same server in plain NTP in the "-plain" cells.
ntpdig speaks no NTS and sits the NTS cells out; chronyd -Q asks with `nts` and
`ntstrustedcerts`. Bytes per request are the NTP requests' UDP payloads; the key exchange's
TCP payloads (both ways) are counted per run apart.

Each serves its clock plus a known offset (3.25 s; wrong: 3603.25 s) and none disciplines
any clock: every process runs without CAP_SYS_TIME, chronyd with -x, ntpd with `disable ntp`
and orphan mode as its source (`tos orphan 1`: it serves its own clock as stratum 1). Their
clocks are the real clock seen through libfaketime; ntpd also gets
korvel-bench-receive-time-shift, because it takes each request's receive time from the
kernel, which libfaketime does not shift.

Each run comes from a client address of its own (a new source address on every veth) and,
for korvel-cli, a runtime folder of its own: the servers' limiters and KORVEL's kiss-o'-death
holds start fresh, as for a user who has not asked these servers for a while. An "again"
cell runs each trial twice from the same address and folder, 5 s apart, and measures the
second run. Requests, replies and kiss-o'-death per server are counted from the client
namespace's own packets (a packet socket), for every tool alike.
"""

import argparse
import ctypes
import json
import os
import re
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

from accuracy import (CLONE_NEWNET, NTP_UNIX_EPOCH, Stop, on_signal, run_tool, stop_process,
                      without_clock_right)

PREFIX = "kvsrv"
OFFSET_SEC = 3.25
WRONG_OFFSET_SEC = OFFSET_SEC + 3600
CHRONYD_BEHIND_RELAY_PORT = 1123
ETH_P_ALL = 0x0003
ETH_P_IP = 0x0800
AGAIN_AFTER_SEC = 5.0
FIRST_RUN_ADDRESS = 10  # 198.18.K.10 onwards; .1 is the bench's own probe address
LAST_RUN_ADDRESS = 250

# Index in the address plan, offset served, label.
SERVERS = {
    "chrony-rl": (1, OFFSET_SEC, "chronyd, ratelimit interval 3 burst 8"),
    "ntpd-kod": (2, OFFSET_SEC, "ntpd, restrict default kod limited"),
    "ntpd-8s": (3, OFFSET_SEC, "ntpd, kod limited, limit average 0.125"),
    "absent": (4, None, "absent (requests dropped)"),
    "lossy": (5, OFFSET_SEC, "chronyd behind 30 % loss"),
    "wrong": (6, WRONG_OFFSET_SEC, "chronyd one hour ahead"),
    "chrony-nts": (7, OFFSET_SEC, "chronyd serving NTS"),
    "ntpd-nts": (8, OFFSET_SEC, "ntpd serving NTS"),
}
NTS_KE_PORT = 4460
# The servers asked, in order, and whether the measured run is the second of two.
CELLS = {
    "chrony-rl": (["chrony-rl"], False),
    "ntpd-kod": (["ntpd-kod"], False),
    "ntpd-8s": (["ntpd-8s"], False),
    "absent": (["absent"], False),
    "lossy": (["lossy"], False),
    "set-limiters": (["chrony-rl", "ntpd-kod", "ntpd-8s", "absent"], False),
    "set-wrong": (["wrong", "chrony-rl", "ntpd-kod", "lossy"], False),
    "ntpd-kod-again": (["ntpd-kod"], True),
    "set-limiters-again": (["chrony-rl", "ntpd-kod", "ntpd-8s", "absent"], True),
    "chrony-nts": (["chrony-nts"], False),
    "chrony-nts-plain": (["chrony-nts"], False),
    "ntpd-nts": (["ntpd-nts"], False),
    "ntpd-nts-plain": (["ntpd-nts"], False),
}
# Cells whose servers are asked with NTS, and the tools that can.
NTS_CELLS = {"chrony-nts", "ntpd-nts"}
NTS_TOOLS = {"korvel", "chronyd"}
TOOLS = ["korvel", "ntpdig", "chronyd"]
TOOL_LABELS = {"korvel": "korvel-cli measure", "ntpdig": "ntpdig", "chronyd": "chronyd -Q -x"}
# An offset farther than this from the servers' is a wrong result, not an error.
WRONG_RESULT_SEC = 1.0


def address(index, host):
    return f"198.18.{index}.{host}"


def server_address(name):
    return address(SERVERS[name][0], 2)


def run(*argv, stdin=None):
    subprocess.run(argv, check=True, input=stdin, text=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


class Lab:
    """The client namespace and one namespace per server; this process moves into the
    client one. Removed on leaving, also on failure or a signal."""

    def __init__(self, scratch):
        self.tag = f"{PREFIX}{os.getpid()}"
        self.client = self.tag + "c"
        self.scratch = scratch
        self.processes = []
        self.made = []
        self.home = None
        self.veths = {}
        self.libc = ctypes.CDLL(None, use_errno=True)

    def server_ns(self, name):
        return f"{self.tag}s{SERVERS[name][0]}"

    def __enter__(self):
        remove_stale_namespaces()
        run("ip", "netns", "add", self.client)
        self.made.append(self.client)
        run("ip", "-n", self.client, "link", "set", "lo", "up")
        batch = []
        for name, (index, _, _) in SERVERS.items():
            ns = self.server_ns(name)
            run("ip", "netns", "add", ns)
            self.made.append(ns)
            a, b = f"kv{os.getpid()}a{index}", f"kv{os.getpid()}b{index}"
            self.veths[name] = a
            run("ip", "link", "add", a, "netns", self.client, "type", "veth", "peer", "name", b,
                "netns", ns)
            run("ip", "-n", ns, "link", "set", "lo", "up")
            run("ip", "-n", ns, "addr", "add", address(index, 2) + "/24", "dev", b)
            run("ip", "-n", ns, "link", "set", b, "up")
            batch.append(f"addr add {address(index, 1)}/24 dev {a}")
            batch += [f"addr add {address(index, host)}/32 dev {a}"
                      for host in range(FIRST_RUN_ADDRESS, LAST_RUN_ADDRESS + 1)]
            batch.append(f"link set {a} up")
        run("ip", "-n", self.client, "-batch", "-", stdin="\n".join(batch) + "\n")
        self.home = os.open("/proc/self/ns/net", os.O_RDONLY)
        fd = os.open(f"/run/netns/{self.client}", os.O_RDONLY)
        try:
            if self.libc.setns(fd, CLONE_NEWNET) != 0:
                raise OSError("cannot enter the client namespace")
        finally:
            os.close(fd)
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

    def use_source(self, host):
        """Every later request leaves from 198.18.K.host."""
        batch = [f"route replace {address(index, 0)}/24 dev {self.veths[name]} "
                 f"src {address(index, host)}" for name, (index, _, _) in SERVERS.items()]
        run("ip", "-batch", "-", stdin="\n".join(batch) + "\n")

    def start(self, name, argv, env=None, ready_line=False):
        log = open(os.path.join(self.scratch, f"{name}-{len(self.processes)}.log"), "w")
        full = ["ip", "netns", "exec", self.server_ns(name), *without_clock_right(argv)]
        process = subprocess.Popen(full, stdout=subprocess.PIPE if ready_line else log,
                                   stderr=log, env=env, text=True)
        self.processes.append(process)
        if ready_line and process.stdout.readline().strip() != "ready":
            raise RuntimeError(f"{argv[0]} did not start")
        return process


def remove_stale_namespaces():
    """Namespaces left by a bench that was killed outright (its PID is gone)."""
    listing = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        match = re.fullmatch(rf"{PREFIX}(\d+)(c|s\d+)", line.split()[0] if line else "")
        if match and not os.path.exists(f"/proc/{match.group(1)}"):
            subprocess.run(["ip", "netns", "del", match.group(0)], stderr=subprocess.DEVNULL)


def make_certificates(scratch):
    """A CA made for the bench and a certificate for the NTS servers' addresses."""
    names = ",".join(f"IP:{server_address(s)}" for s in SERVERS if s.endswith("-nts"))
    key = "openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes"
    run("sh", "-c", f"""set -e; cd {scratch}
{key} -x509 -keyout ca.key -out ca.crt -days 2 -subj /CN=korvel-bench-ca
{key} -keyout nts.key -out nts.csr -subj /CN=korvel-bench-nts
echo subjectAltName={names} > nts.ext
openssl x509 -req -in nts.csr -out nts.crt -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
    -extfile nts.ext
chmod 644 nts.key""")


def start_servers(lab, args):
    faketime = args.faketime_library
    make_certificates(lab.scratch)
    nts_files = {"cert": os.path.join(lab.scratch, "nts.crt"),
                 "key": os.path.join(lab.scratch, "nts.key")}
    for name, (index, offset, _) in SERVERS.items():
        here = address(index, 2)
        if name == "absent":
            ns = ["ip", "netns", "exec", lab.server_ns(name), "nft"]
            run(*ns, "add table inet bench")
            run(*ns, "add chain inet bench input { type filter hook input priority 0; }")
            run(*ns, "add rule inet bench input udp dport 123 drop")
            continue
        env = dict(os.environ, LD_PRELOAD=faketime, FAKETIME=f"{offset:+}")
        if name.startswith("ntpd"):
            config = os.path.join(lab.scratch, f"{name}.conf")
            with open(config, "w") as out:
                # The bench's probe address is exempt from the limits; runs come from others.
                limits = "" if name == "ntpd-nts" else " kod limited"
                out.write(f"restrict default{limits} nomodify noquery\n"
                          f"restrict {address(index, 1)}\n"
                          "tos orphan 1 orphanwait 1\ndisable ntp\n")
                if name == "ntpd-8s":
                    out.write("limit average 0.125\n")
                if name == "ntpd-nts":
                    out.write(f"nts enable\nnts cert {nts_files['cert']}\n"
                              f"nts key {nts_files['key']}\n"
                              f"nts cookie {lab.scratch}/{name}-cookies\n")
            env["LD_PRELOAD"] = f"{args.receive_time_shift} {faketime}"
            lab.start(name, [args.ntpd, "-n", "-c", config], env=env)
            continue
        behind_relay = name == "lossy"
        config = os.path.join(lab.scratch, f"{name}.conf")
        with open(config, "w") as out:
            out.write(f"pidfile {lab.scratch}/{name}.pid\ncmdport 0\nbindcmdaddress /\n"
                      "local stratum 8\nallow all\n")
            if behind_relay:
                out.write(f"port {CHRONYD_BEHIND_RELAY_PORT}\nbindaddress 127.0.0.1\n")
            else:
                out.write(f"port 123\nbindaddress {here}\n")
            if name == "chrony-rl":
                out.write("ratelimit interval 3 burst 8\n")
            if name == "chrony-nts":
                dump = os.path.join(lab.scratch, f"{name}-dump")
                os.makedirs(dump, mode=0o700)
                out.write(f"ntsserverkey {nts_files['key']}\nntsservercert {nts_files['cert']}\n"
                          f"ntsdumpdir {dump}\nntsprocesses 0\n")
        lab.start(name, [args.chronyd, "-x", "-d", "-u", "root", "-f", config], env=env)
        if behind_relay:
            lab.start(name, [args.relay, "--listen", f"{here}:123", "--upstream",
                             f"127.0.0.1:{CHRONYD_BEHIND_RELAY_PORT}", "--condition",
                             "loss30", "--seed", str(args.seed)], ready_line=True)


def probe(server, count):
    """Asks from the bench's own address; (offset, delay) medians of the synchronised
    replies, None when none came."""
    samples = []
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.bind((address(SERVERS[server][0], 1), 0))
        sock.settimeout(0.5)
        for _ in range(count):
            t1 = time.time()
            request = bytes([0x23, 0, 6, 0xEC]) + bytes(36) + struct.pack(
                ">II", int(t1) + NTP_UNIX_EPOCH, int((t1 % 1) * 2**32))
            sock.sendto(request, (server_address(server), 123))
            try:
                reply = sock.recv(1024)
            except socket.timeout:
                continue
            t4 = time.time()
            time.sleep(0.05)

            def stamp(at):
                whole, part = struct.unpack(">II", reply[at:at + 8])
                return whole - NTP_UNIX_EPOCH + part / 2**32

            if reply[0] >> 6 == 3 or reply[1] == 0 or abs(stamp(24) - t1) > 1e-6:
                continue
            t2, t3 = stamp(32), stamp(40)
            samples.append((((t2 - t1) + (t3 - t4)) / 2, (t4 - t1) - (t3 - t2)))
    if not samples:
        return None
    return (statistics.median(s[0] for s in samples), statistics.median(s[1] for s in samples))


def check_servers():
    """Waits until each server answers synchronised, then checks the offset it serves and
    that its receive and transmit times carry it alike (a round trip near zero)."""
    for name, (_, offset, label) in SERVERS.items():
        if offset is None:
            continue
        deadline = time.monotonic() + 30
        while probe(name, 1) is None:
            if time.monotonic() > deadline:
                raise RuntimeError(f"{label} never answered synchronised")
            time.sleep(0.5)
        served = probe(name, 8)
        # An unshifted receive time would show as half the offset, with a round trip of minus
        # the offset; the bounds leave room for a loaded machine's scheduling.
        if served is None or abs(served[0] - offset) > 0.02 or abs(served[1]) > 0.05:
            raise RuntimeError(f"{label} serves {served}; expected {offset:+.6f} s and a "
                               "round trip near zero")
        print(f"  {label:42} serves {served[0]:+.6f} s, direct round trip "
              f"{served[1] * 1e3:.3f} ms", flush=True)


class Capture:
    """The client namespace's NTP packets while a tool runs, from a packet socket."""

    def __init__(self):
        # Every protocol: a socket bound to IPv4 alone is not shown the packets sent.
        self.sock = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(ETH_P_ALL))
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        self.sock.setblocking(False)

    def close(self):
        self.sock.close()

    def packets(self):
        """(outgoing, server address, stratum, refid, payload bytes) of each NTP packet, in
        order; a key exchange's TCP segments carry the stratum "ke"."""
        seen = []
        while True:
            try:
                data, (_, protocol, kind, _, _) = self.sock.recvfrom(4096)
            except BlockingIOError:
                return seen
            header = (data[0] & 0x0F) * 4
            if protocol != ETH_P_IP or data[9] not in (socket.IPPROTO_UDP, socket.IPPROTO_TCP):
                continue
            source, destination = socket.inet_ntoa(data[12:16]), socket.inet_ntoa(data[16:20])
            sport, dport = struct.unpack(">HH", data[header:header + 4])
            outgoing = kind == socket.PACKET_OUTGOING
            if data[9] == socket.IPPROTO_TCP:
                if NTS_KE_PORT in (sport, dport):
                    tcp = (data[header + 12] >> 4) * 4
                    size = struct.unpack(">H", data[2:4])[0] - header - tcp
                    seen.append((outgoing, destination if outgoing else source, "ke", None, size))
                continue
            payload = data[header + 8:]
            if len(payload) < 48:
                continue
            if outgoing and dport == 123:
                seen.append((True, destination, None, None, len(payload)))
            elif not outgoing and sport == 123:
                seen.append((False, source, payload[1], payload[12:16].decode(errors="replace"),
                             len(payload)))


def tally(packets, servers):
    """Per server: requests, replies, kiss-o'-death codes, requests sent after the first, the
    requests' bytes and the key exchange's."""
    rows = {s: {"requests": 0, "replies": 0, "kod": [], "after_kod": 0, "bytes": 0,
                "ke_bytes": 0} for s in servers}
    by_address = {server_address(s): s for s in servers}
    for outgoing, where, stratum, refid, size in packets:
        row = rows.get(by_address.get(where))
        if row is None:
            continue
        if stratum == "ke":
            row["ke_bytes"] += size
        elif outgoing:
            row["requests"] += 1
            row["bytes"] += size
            row["after_kod"] += 1 if row["kod"] else 0
        elif stratum == 0:
            row["kod"].append(refid)
        else:
            row["replies"] += 1
    return rows


class Runner:
    def __init__(self, args, lab):
        self.args = args
        self.lab = lab
        self.next_host = FIRST_RUN_ADDRESS

    def fresh_client(self):
        host = self.next_host
        self.next_host = host + 1 if host < LAST_RUN_ADDRESS else FIRST_RUN_ADDRESS
        self.lab.use_source(host)
        runtime = tempfile.mkdtemp(prefix="runtime-", dir=self.lab.scratch)
        os.chmod(runtime, 0o700)
        return runtime

    def command(self, tool, servers, runtime, nts):
        targets = [server_address(s) for s in servers]
        ca = os.path.join(self.lab.scratch, "ca.crt")
        if tool == "korvel":
            env = dict(os.environ, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=runtime,
                       DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent")
            named = [f"nts:{t}" for t in targets] + ["--nts-ca", ca] if nts else targets
            return ([self.args.cli, "measure", *named, "--json"],
                    re.compile(r'"offset":(-?[0-9.]+),'), env)
        if tool == "ntpdig":
            return (["ntpdig", "-j", *targets], re.compile(r'"offset":\s*(\S+?),'), None)
        # -Q prints the offset and exits; -x never touches the clock; -t bounds the wait.
        return ([self.args.chronyd, "-Q", "-x", "-u", "root", "-t", "20",
                 *[f"server {t} iburst" + (" nts" if nts else "") for t in targets],
                 *([f"ntstrustedcerts {ca}"] if nts else []),
                 f"pidfile {runtime}/chronyd-client.pid", "cmdport 0", "bindcmdaddress /"],
                re.compile(r"System clock wrong by (\S+) seconds"), None)

    def once(self, tool, servers, runtime, nts=False):
        argv, pattern, env = self.command(tool, servers, runtime, nts)
        capture = Capture()
        try:
            result = run_tool(argv, pattern, env=env)
            time.sleep(0.3)  # late replies
            rows = tally(capture.packets(), servers)
        finally:
            capture.close()
        report = None
        if tool == "korvel":
            try:
                report = json.loads(result.output)
            except ValueError:
                pass
        return result, rows, report

    def trial(self, tool, cell):
        servers, again = CELLS[cell]
        runtime = self.fresh_client()
        if again:
            self.once(tool, servers, runtime)
            time.sleep(AGAIN_AFTER_SEC)
        result, rows, report = self.once(tool, servers, runtime, cell in NTS_CELLS)
        expected = OFFSET_SEC
        return {
            "cell": cell, "tool": tool, "status": result.status, "offset": result.offset,
            "error": None if result.offset is None else result.offset - expected,
            "to_result": result.to_result, "wall": result.wall, "servers": rows,
            "named_wrong": named_wrong(report, servers), "report": report,
        }


def named_wrong(report, servers):
    """Whether KORVEL's report names the one-hour server as not agreeing."""
    if report is None or "wrong" not in servers:
        return None
    for row in report.get("servers", []):
        if row.get("address") == server_address("wrong"):
            return row.get("agreed") is False and row.get("why") == "disagrees"
    return False


def summarise(trials):
    good = [t for t in trials if t["offset"] is not None]
    right = [t for t in good if abs(t["error"]) < WRONG_RESULT_SEC]
    errors = [abs(t["error"]) for t in right]
    times = [t["to_result"] for t in right]

    def per_run(key):
        return statistics.median(sum(len(r["kod"]) if key == "kod" else r[key]
                                     for r in t["servers"].values()) for t in trials)

    named = [t["named_wrong"] for t in trials if t["named_wrong"] is not None]
    return {
        "trials": len(trials), "successes": len(right), "wrong": len(good) - len(right),
        "median_to_result": statistics.median(times) if times else None,
        "median_abs_error": statistics.median(errors) if errors else None,
        "max_abs_error": max(errors) if errors else None,
        "median_wall": statistics.median(t["wall"] for t in trials),
        "requests": per_run("requests"), "replies": per_run("replies"), "kod": per_run("kod"),
        "bytes_per_request": statistics.median(
            sum(r["bytes"] for r in t["servers"].values()) /
            max(1, sum(r["requests"] for r in t["servers"].values())) for t in trials),
        "ke_bytes": per_run("ke_bytes"),
        "after_kod": sum(r["after_kod"] for t in trials for r in t["servers"].values()),
        "exit_codes": sorted({t["status"] for t in trials}),
        "named_wrong": f"{sum(named)}/{len(named)}" if named else None,
        "per_server": {s: {k: statistics.median((len(t["servers"][s]["kod"]) if k == "kod"
                                                 else t["servers"][s][k]) for t in trials)
                           for k in ("requests", "replies", "kod")}
                       for s in trials[0]["servers"]},
    }


def print_tables(cells, tools, summary):
    print(f"\n{'cell':20} {'tool':19} {'ok':>6} {'wrong':>5} {'result s':>8} "
          f"{'|err| ms':>9} {'max ms':>8} {'req':>5} {'B/req':>5} {'KE B':>5} {'rep':>5} "
          f"{'KoD':>4} {'>KoD':>5} {'exit':>8}")
    for cell in cells:
        for tool in tools:
            s = summary.get(cell, {}).get(tool)
            if s is None:
                continue
            result = "-" if s["median_to_result"] is None else f"{s['median_to_result']:.2f}"
            error = "-" if s["median_abs_error"] is None else f"{s['median_abs_error'] * 1e3:.3f}"
            worst = "-" if s["max_abs_error"] is None else f"{s['max_abs_error'] * 1e3:.3f}"
            codes = ",".join(str(c) for c in s["exit_codes"])
            print(f"{cell:20} {TOOL_LABELS[tool]:19} {s['successes']:>3}/{s['trials']:<2} "
                  f"{s['wrong']:>5} {result:>8} {error:>9} {worst:>8} {s['requests']:>5g} "
                  f"{s['bytes_per_request']:>5.0f} {s['ke_bytes']:>5g} {s['replies']:>5g} "
                  f"{s['kod']:>4g} {s['after_kod']:>5} {codes:>8}")
    print("\nPer server, median per run (requests / replies / kiss-o'-death):")
    for cell in cells:
        for tool in tools:
            s = summary.get(cell, {}).get(tool)
            if s is None or len(s["per_server"]) < 2:
                continue
            parts = [f"{name} {v['requests']:g}/{v['replies']:g}/{v['kod']:g}"
                     for name, v in s["per_server"].items()]
            named = f"; wrong one named {s['named_wrong']}" if s["named_wrong"] else ""
            print(f"  {cell:20} {TOOL_LABELS[tool]:19} {', '.join(parts)}{named}")


def print_targets(summary):
    korvel = {cell: tools["korvel"] for cell, tools in summary.items() if "korvel" in tools}
    if not korvel:
        return

    def verdict(ok):
        return "met" if ok else "NOT met"

    print("\nTargets (KORVEL):")
    s = korvel.get("set-limiters")
    if s:
        ok = (s["successes"] == s["trials"] and s["median_to_result"] is not None
              and s["median_to_result"] < 4 and s["max_abs_error"] <= 0.001)
        result = "-" if s["median_to_result"] is None else f"{s['median_to_result']:.2f} s"
        worst = "-" if s["max_abs_error"] is None else f"{s['max_abs_error'] * 1e3:.3f} ms"
        print(f"  set of four with both limiters: {s['successes']}/{s['trials']}, median "
              f"{result}, worst error {worst}: {verdict(ok)}")
    after = sum(k["after_kod"] for k in korvel.values())
    print(f"  requests after a kiss-o'-death, all cells: {after}: {verdict(after == 0)}")
    s = korvel.get("ntpd-kod")
    if s:
        ok = s["median_to_result"] is not None and s["median_to_result"] < 4
        result = "-" if s["median_to_result"] is None else f"{s['median_to_result']:.2f} s"
        print(f"  single ntpd with default limits: {s['successes']}/{s['trials']}, median "
              f"{result}: {verdict(ok)}")
    s = korvel.get("set-wrong")
    if s:
        ok = s["successes"] == s["trials"] and s["named_wrong"] == f"{s['trials']}/{s['trials']}"
        print(f"  set with one server an hour ahead: right offset {s['successes']}/"
              f"{s['trials']}, the wrong one named {s['named_wrong']}: {verdict(ok)}")


def parse_arguments():
    parser = argparse.ArgumentParser(prog="bench/servers", description=__doc__.split("\n")[0])
    parser.add_argument("--trials", type=int, default=10, help="runs per tool and cell")
    parser.add_argument("--cells", default=",".join(CELLS),
                        help="comma-separated: " + ", ".join(CELLS))
    parser.add_argument("--tools", default=",".join(TOOLS),
                        help="comma-separated: " + ", ".join(TOOLS))
    parser.add_argument("--seed", type=int, default=1, help="the lossy relay's seed")
    parser.add_argument("--json", help="also write every run to this file")
    parser.add_argument("--cli", required=True, help="the korvel-cli to measure (default: the build's)")
    for hidden in ("relay", "chronyd", "ntpd", "faketime-library", "receive-time-shift"):
        parser.add_argument("--" + hidden, required=True, help=argparse.SUPPRESS)
    args = parser.parse_args()
    for name, allowed in (("cells", CELLS), ("tools", TOOLS)):
        chosen = getattr(args, name).split(",")
        unknown = [c for c in chosen if c not in allowed]
        if unknown:
            parser.error(f"unknown {name}: {', '.join(unknown)}")
        setattr(args, name, chosen)
    return args


def clock_step_sec():
    """Real-time minus monotonic clock: constant unless something set the clock."""
    return time.clock_gettime(time.CLOCK_REALTIME) - time.clock_gettime(time.CLOCK_MONOTONIC)


def main():
    args = parse_arguments()
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, on_signal)
    load = os.getloadavg()
    print(f"bench/servers: {args.trials} runs per cell, load {load[0]:.2f} {load[1]:.2f} "
          f"{load[2]:.2f}", flush=True)
    clock_before = clock_step_sec()
    trials = []
    summary = {}
    try:
        with tempfile.TemporaryDirectory(prefix="korvel-servers-") as scratch, \
                Lab(scratch) as lab:
            os.chmod(scratch, 0o755)
            start_servers(lab, args)
            check_servers()
            runner = Runner(args, lab)
            for cell in args.cells:
                summary[cell] = {}
                for tool in args.tools:
                    if cell in NTS_CELLS and tool not in NTS_TOOLS:
                        continue
                    runs = []
                    for trial in range(args.trials):
                        runs.append(runner.trial(tool, cell))
                        if sys.stdout.isatty():
                            print(f"\r  {cell} / {tool}: run {trial + 1}/{args.trials}",
                                  end="", flush=True)
                    print(f"\r  {cell} / {tool}: {args.trials} runs done", flush=True)
                    trials += runs
                    summary[cell][tool] = summarise(runs)
    except Stop as stop:
        print(f"\nbench/servers: stopped by {stop}; namespaces removed", file=sys.stderr)
        return 130
    print_tables(args.cells, args.tools, summary)
    print_targets(summary)
    step = clock_step_sec() - clock_before
    load = os.getloadavg()
    print(f"\nload at the end {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}; the system clock moved "
          f"{step * 1e3:+.3f} ms against the monotonic clock during the run (by whatever "
          "disciplines it, never by the bench)")
    if args.json:
        with open(args.json, "w") as out:
            json.dump({"summary": summary, "trials": trials}, out, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
