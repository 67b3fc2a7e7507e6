#!/usr/bin/env python3
"""Presence storm on the real program: thousands of hosts answer its entry.

    storm.py OBSERVED_PROGRAM [--hosts 50000] [--paced 1.0] [--repeat 3]
             [--platform xcb|offscreen] [--cases unpaced-hidden,...]

OBSERVED_PROGRAM is wibblet_observed (tests/lan/observed): the program as
shipped, with a state report on standard input. Each case starts it afresh
on a cable inside a private network namespace; as soon as its entry is on
the wire, one peer sends an answer from each of --hosts distinct host names:

    unpaced-*   as fast as one sender can
    paced-*     spread evenly over --paced seconds
    *-hidden    under Xvfb with openbox and a tray (trayer): the program sits
                in the tray, its main window hidden
    *-shown     under Xvfb with openbox and no tray: the main window shows

Per case: how many hosts are listed once the program has gone quiet, the
datagrams the kernel dropped for want of room (RcvbufErrors in the
namespace's /proc/net/snmp), and the program's CPU time from the first
answer sent until it went quiet, per answer. With the window shown two
probes watch the event loop meanwhile, each from its own process: a
_NET_WM_PING to the main window every 20 ms (xwatch.py; the round trip is
how long the loop took to come round) and an entry from another host every
20 ms (the time until its answer, which waits behind the queued storm).
Their cost is in the CPU figure (well under 1 %).

Each case runs --repeat times and the median is printed; the run fails
when a host is missing from the list. --platform offscreen has no tray and
no X server: only the *-shown cases run there, without the ping.
"""

import argparse
import contextlib
import os
import select
import socket
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# The probe's host: a namespace of its own, on a cable to the program's
# (wbp0 here, wbp1 there): answers go to port 1001, which the program holds
# in its own namespace.
PROBE_ADDRESS = "10.99.1.2"
PROBE_GATEWAY = "10.99.1.1"
PROBE_EVERY = 0.02
MAX_HOSTS = 100000
QUIET_MS = 300  # the program counts as quiet after this long without CPU
CASES = ["unpaced-hidden", "unpaced-shown", "paced-hidden", "paced-shown"]


def udp_receive_errors():
    with open("/proc/net/snmp") as f:
        rows = [line.split() for line in f if line.startswith("Udp:")]
    header, values = rows[0], rows[1]
    return int(values[header.index("RcvbufErrors")])


def listed(proc, prefix):
    """Rows whose host starts with prefix, from the program's state report."""
    proc.stdin.write(b"state\n")
    proc.stdin.flush()
    count = 0
    while True:
        line = proc.stdout.readline()
        if not line:
            raise RuntimeError("the program ended")
        if line.startswith(b"member\t") and line.split(b"\t")[1].startswith(prefix):
            count += 1
        if line == b"end\n":
            return count


def run_delay_ns(pid):
    """How long the main thread has waited for a CPU while runnable."""
    with open(f"/proc/{pid}/schedstat") as f:
        return int(f.read().split()[1])


def cpu_ns(pid):
    return sum(cpu for _name, _v, cpu in common.thread_counters(pid).values())


def probe(seconds):
    """The probe process: an entry every PROBE_EVERY seconds from
    PROBE_ADDRESS, printing the microseconds until it is answered (-1: not
    within 5 s). Its address answers once first, so that the program
    takes it for a real host and answers its entries unthrottled. Runs in a
    namespace of its own: waits for its end of the cable, then sets it up."""
    print("namespace", flush=True)
    sys.stdin.readline()
    for command in (["ip", "link", "set", "lo", "up"],
                    ["ip", "addr", "add", PROBE_ADDRESS + "/24", "dev", "wbp1"],
                    ["ip", "link", "set", "wbp1", "up"],
                    ["ip", "route", "add", common.LAN_ADDRESS + "/32", "via", PROBE_GATEWAY]):
        subprocess.run(command, check=True)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    deadline = time.monotonic() + 5
    while True:  # until the link is up
        try:
            sock.bind((PROBE_ADDRESS, 1001))
            break
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.02)
    target = (common.LAN_ADDRESS, 1001)
    sock.sendto(b"1:1:probe:probe:3:probe\0", target)
    time.sleep(0.05)
    end = time.monotonic() + seconds
    number = 1
    while time.monotonic() < end:
        sock.setblocking(False)
        with contextlib.suppress(BlockingIOError):
            while sock.recv(70000):
                pass
        sock.setblocking(True)
        number += 1
        sent = time.monotonic()
        sock.sendto(b"1:%d:probe:probe:1:probe\0" % number, target)
        waited = -1
        while time.monotonic() - sent < 5.0:
            sock.settimeout(max(0.001, 5.0 - (time.monotonic() - sent)))
            try:
                payload = sock.recv(70000)
            except socket.timeout:
                break
            command = common.command_of(payload)
            if command is not None and command & 0xFF == 3:
                waited = int((time.monotonic() - sent) * 1e6)
                break
        print(waited, flush=True)
        time.sleep(max(0.0, sent + PROBE_EVERY - time.monotonic()))
        if select.select([sys.stdin], [], [], 0)[0] and not sys.stdin.readline():
            return 0
    return 0


def start_probe(seconds):
    """The probe process, in its namespace, with the cable to it laid."""
    proc = watcher(["unshare", "--net", "--", sys.executable, os.path.abspath(__file__),
                    "--probe", str(seconds)])
    proc.stdout.readline()
    subprocess.run(["ip", "link", "del", "wbp0"], stderr=subprocess.DEVNULL)
    for command in (["ip", "link", "add", "wbp0", "type", "veth", "peer", "name", "wbp1",
                     "netns", str(proc.pid)],
                    ["ip", "addr", "add", PROBE_GATEWAY + "/24", "dev", "wbp0"],
                    ["ip", "link", "set", "wbp0", "up"]):
        subprocess.run(command, check=True)
    proc.stdin.write("go\n")
    proc.stdin.flush()
    return proc


def main_window(env, pid):
    """The program's shown top-level window, or None."""
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], env=env,
                             capture_output=True, text=True).stdout.split()
        if out:
            return out[0]
        time.sleep(0.1)
    return None


def watcher(argv, env=None):
    return subprocess.Popen(argv, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)


def collect(proc):
    """Stops a probe process and returns its figures (microseconds)."""
    proc.stdin.close()
    out = proc.stdout.read()
    proc.wait(10)
    return [int(line) for line in out.split()]


def send_storm(peer, answers, paced):
    """Sends every answer, spread over paced seconds (0: as fast as it goes)."""
    target = (common.LAN_ADDRESS, 1001)
    if paced <= 0:
        for datagram in answers:
            peer.sendto(datagram, target)
        return
    slices = max(1, int(paced * 1000))  # a slice a millisecond
    per_slice = -(-len(answers) // slices)
    start = time.monotonic()
    for k in range(0, len(answers), per_slice):
        due = start + (k // per_slice) * paced / slices
        while time.monotonic() < due:
            pass
        for datagram in answers[k:k + per_slice]:
            peer.sendto(datagram, target)


def wait_quiet(pid, deadline):
    """Waits until the program has been quiet for QUIET_MS (under 5 % of a
    core: the probes and a caret blink cost a little); returns its CPU time
    and the monotonic time when it last worked harder than that."""
    step = 0.05
    last_cpu, last_busy = cpu_ns(pid), time.monotonic()
    sample_cpu = last_cpu
    while time.monotonic() < deadline:
        time.sleep(step)
        now_cpu = cpu_ns(pid)
        if now_cpu - sample_cpu > step * 1e9 * 0.05:
            last_cpu, last_busy = now_cpu, time.monotonic()
        elif time.monotonic() - last_busy >= QUIET_MS / 1000:
            break
        sample_cpu = now_cpu
    return last_cpu, last_busy


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * share))]


def one_case(args, copy, answers, pacing, view):
    home = tempfile.mkdtemp(prefix="wibblet-bench-home-")
    watch = view == "shown" and args.platform == "xcb"
    with contextlib.ExitStack() as stack:
        env = common.display_env(stack, args.platform, tray=view == "hidden", wm=True)
        env["HOME"] = home
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        sniffer = common.Sniffer()
        peer = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        peer.bind((common.PEER_ADDRESS, 0))
        proc = subprocess.Popen([copy], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        probes = []
        try:
            if common.wait_for_entry(sniffer, {1001}, 15) is None:
                raise RuntimeError("the program's entry never came")
            sniffer.close()
            time.sleep(0.5)  # its own entry handled, start-up over
            if watch:
                window = main_window(env, proc.pid)
                if window is None:
                    raise RuntimeError("no shown main window")
                seconds = str(args.paced + 30)
                probes = [watcher([sys.executable, os.path.join(HERE, "xwatch.py"), "ping",
                                   window, "--every", str(PROBE_EVERY), "--seconds", seconds],
                                  env),
                          start_probe(seconds)]
                time.sleep(0.3)
            errors_before = udp_receive_errors()
            cpu_before = cpu_ns(proc.pid)
            delay_before = run_delay_ns(proc.pid)
            start = time.monotonic()
            send_storm(peer, answers, args.paced if pacing == "paced" else 0)
            sent_in = time.monotonic() - start
            cpu_after, busy_until = wait_quiet(proc.pid, start + 60)
            delay = run_delay_ns(proc.pid) - delay_before
            figures = [collect(p) for p in probes]
            dropped = udp_receive_errors() - errors_before
            count = listed(proc, b"peer")
        finally:
            for p in probes:
                if p.poll() is None:
                    p.kill()
                    p.wait()
            common.stop(proc)
            peer.close()
    result = {"sent_ms": sent_in * 1000, "listed": count, "dropped": dropped,
              "done_ms": (busy_until - start) * 1000, "delay_ms": delay / 1e6,
              "us_per_answer": (cpu_after - cpu_before) / 1e3 / len(answers)}
    for name, values in zip(("ping", "probe"), figures):
        answered = [v for v in values if v >= 0]
        result[name] = (max(answered) / 1e3 if answered else float("nan"),
                        percentile(answered, 0.99) / 1e3 if answered else float("nan"),
                        len(values) - len(answered), len(values))
    return result


def report(case, results, hosts):
    med = lambda key: statistics.median(r[key] for r in results)  # noqa: E731
    line = (f"storm {case}: {hosts} answers sent in {med('sent_ms'):.0f} ms, "
            f"listed {'/'.join(str(r['listed']) for r in results)}, "
            f"kernel drops {'/'.join(str(r['dropped']) for r in results)}, "
            f"done after {med('done_ms'):.0f} ms, cpu {med('us_per_answer'):.1f} us per answer "
            f"(runs: {', '.join(format(r['us_per_answer'], '.1f') for r in results)}), "
            f"main thread kept waiting for a CPU {med('delay_ms'):.0f} ms")
    for name, what in (("ping", "_NET_WM_PING round trip"), ("probe", "probe entry answered")):
        if name in results[0]:
            worst = statistics.median(r[name][0] for r in results)
            p99 = statistics.median(r[name][1] for r in results)
            lost = sum(r[name][2] for r in results)
            line += (f"\n  {what}: worst {worst:.1f} ms, 99th percentile {p99:.1f} ms "
                     f"(medians of {len(results)} runs; worst of all "
                     f"{max(r[name][0] for r in results):.1f} ms; "
                     f"{sum(r[name][3] for r in results)} sent, {lost} unanswered)")
    print(line, flush=True)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--probe":
        return probe(float(sys.argv[2]))
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--hosts", type=int, default=50000)
    parser.add_argument("--paced", type=float, default=1.0)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--platform", choices=["xcb", "offscreen"], default="xcb")
    parser.add_argument("--cases", default=",".join(CASES))
    args = parser.parse_args()
    if not 0 < args.hosts <= MAX_HOSTS:
        sys.exit(f"--hosts: 1 to {MAX_HOSTS}")
    cases = [c for c in args.cases.split(",") if args.platform == "xcb" or c.endswith("-shown")]

    common.ensure_private()
    common.setup_lan()
    _folder, copy = common.program_copy(args.program)
    answers = [b"1:%d:user%05d:peer%05d:3:nick%05d\0" % (i + 1, i, i, i) for i in range(args.hosts)]
    complete = True
    for case in cases:
        pacing, view = case.split("-")
        results = [one_case(args, copy, answers, pacing, view) for _ in range(args.repeat)]
        report(case, results, args.hosts)
        complete &= all(r["listed"] == args.hosts for r in results)
    return 0 if complete else 1


if __name__ == "__main__":
    sys.exit(main())
