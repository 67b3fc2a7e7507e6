#!/usr/bin/env python3
"""Idle cost: wake-ups and CPU time of a program left alone, and its memory.

    idle.py PROGRAM [--seconds 60] [--platform xcb|offscreen] [--iptux]

Starts the program on a cable inside a private network namespace (under
Xvfb for xcb), lets start-up settle for 2 s, then counts for the given time
the voluntary context switches (each one a wake-up from sleep) and the CPU
time of every thread, from /proc. The resident memory is read 10 s after
the start. Prints totals, rates and the threads that woke.
"""

import argparse
import contextlib
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

SETTLE = 2.0
RSS_AT = 10.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--platform", choices=["xcb", "offscreen"], default="xcb")
    parser.add_argument("--iptux", action="store_true")
    parser.add_argument("--dbus", action="store_true",
                        help="give the program a session bus of its own, as a desktop does")
    args = parser.parse_args()

    common.ensure_private()
    common.setup_lan()
    home = tempfile.mkdtemp(prefix="wibblet-bench-home-")
    argv = [args.program] if args.iptux else [common.program_copy(args.program)[1]]
    if args.dbus:
        argv = ["dbus-run-session", "--", *argv]

    with contextlib.ExitStack() as stack:
        env = common.display_env(stack, args.platform)
        env["HOME"] = home
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        started = time.monotonic()
        proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(SETTLE)
            pid = common.program_pid(proc.pid, os.path.basename(argv[-1]))
            before = common.thread_counters(pid)
            t0 = time.monotonic()
            rss = None
            while time.monotonic() - t0 < args.seconds:
                if rss is None and time.monotonic() - started >= RSS_AT:
                    rss = common.rss_kib(pid)
                time.sleep(min(0.5, args.seconds - (time.monotonic() - t0)) or 0.01)
            after = common.thread_counters(pid)
            elapsed = time.monotonic() - t0
            if rss is None:
                rss = common.rss_kib(pid)
            if proc.poll() is not None:
                print("idle: the program ended early")
                return 1
        finally:
            common.stop(proc)

    wakeups = 0
    cpu_ns = 0
    lines = []
    for tid, (name, voluntary, cpu) in sorted(after.items()):
        v0, c0 = before.get(tid, (name, 0, 0))[1:]
        wakeups += voluntary - v0
        cpu_ns += cpu - c0
        lines.append(f"  thread {tid:>7} {name:<16} wake-ups {voluntary - v0:>7}  "
                     f"cpu {(cpu - c0) / 1e6:8.2f} ms")
    bus = ", own session bus" if args.dbus else ""
    print(f"idle over {elapsed:.1f} s ({args.platform}{bus}), {len(after)} threads:")
    print("\n".join(lines))
    print(f"idle wake-ups {wakeups / elapsed:.3f}/s, cpu {cpu_ns / 1e6 / elapsed * 60:.2f} ms/min "
          f"({cpu_ns / 1e9 / elapsed * 100:.4f} %), rss at 10 s {rss / 1024:.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
