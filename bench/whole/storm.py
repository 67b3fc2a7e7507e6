#!/usr/bin/env python3
"""Presence storm on the real program: 5,000 hosts answer its entry.

    storm.py OBSERVED_PROGRAM [--hosts 5000] [--window 0.1] [--platform offscreen|xcb]

OBSERVED_PROGRAM is wibblet_observed (tests/lan/observed): the program as
shipped, with a state report on standard input. It starts on a cable inside
a private network namespace; as soon as its entry is on the wire, one peer
sends an answer from each of --hosts distinct host names within --window
seconds. The run passes when every host is listed. Prints how long the
listing took, the program's CPU time per answer and any datagram the kernel
dropped.
"""

import argparse
import contextlib
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402


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


def cpu_ns(pid):
    return sum(cpu for _name, _v, cpu in common.thread_counters(pid).values())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--hosts", type=int, default=5000)
    parser.add_argument("--window", type=float, default=0.1)
    parser.add_argument("--platform", choices=["xcb", "offscreen"], default="offscreen")
    args = parser.parse_args()

    common.ensure_private()
    common.setup_lan()
    home = tempfile.mkdtemp(prefix="wibblet-bench-home-")
    _folder, copy = common.program_copy(args.program)
    answers = [b"1:%d:user%05d:peer%05d:3:nick%05d\0" % (i + 1, i, i, i) for i in range(args.hosts)]

    with contextlib.ExitStack() as stack:
        env = common.display_env(stack, args.platform)
        env["HOME"] = home
        sniffer = common.Sniffer()
        peer = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        peer.bind((common.PEER_ADDRESS, 0))
        proc = subprocess.Popen([copy], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        try:
            if common.wait_for_entry(sniffer, {1001}, 15) is None:
                print("storm: the program's entry never came")
                return 1
            sniffer.close()
            time.sleep(0.3)  # its own entry handled, start-up over
            errors_before = udp_receive_errors()
            cpu_before = cpu_ns(proc.pid)
            # Paced in slices of a millisecond over the window.
            slices = max(1, int(args.window * 1000))
            per_slice = -(-args.hosts // slices)
            start = time.monotonic()
            for k in range(0, args.hosts, per_slice):
                due = start + (k // per_slice) * args.window / slices
                while time.monotonic() < due:
                    pass
                for datagram in answers[k:k + per_slice]:
                    peer.sendto(datagram, (common.LAN_ADDRESS, 1001))
            sent_in = time.monotonic() - start
            deadline = start + 30
            count = 0
            while time.monotonic() < deadline:
                count = listed(proc, b"peer")
                if count >= args.hosts:
                    break
                time.sleep(0.05)
            all_in = time.monotonic() - start
            cpu = cpu_ns(proc.pid) - cpu_before
            dropped = udp_receive_errors() - errors_before
        finally:
            common.stop(proc)
            peer.close()

    print(f"storm: {args.hosts} answers sent in {sent_in * 1000:.0f} ms, "
          f"{count} hosts listed after {all_in * 1000:.0f} ms, "
          f"program cpu {cpu / 1e6:.1f} ms ({cpu / 1e3 / args.hosts:.1f} us per answer), "
          f"{dropped} dropped by the kernel")
    return 0 if count == args.hosts else 1


if __name__ == "__main__":
    sys.exit(main())
