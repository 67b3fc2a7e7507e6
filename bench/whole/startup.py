#!/usr/bin/env python3
"""Start-up: from exec to the first entry datagram on the wire.

    startup.py PROGRAM [--runs 7] [--platform xcb|offscreen] [--iptux]

Each run starts the program on a cable inside a private network namespace
(see common.setup_lan) under Xvfb, timestamps the exec just before it
happens and the entry as it arrives at the far end of the cable, and ends
the program. A first start that creates the settings file is not counted.
Prints one line per run and the median.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

# Writes the time, then becomes the program: nothing of Python's own
# start-up lies between the stamp and the exec.
LAUNCHER = ("import os, sys, time\n"
            "fd = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC)\n"
            "t = time.time_ns()\n"
            "os.write(fd, str(t).encode()); os.close(fd)\n"
            "os.execv(sys.argv[2], sys.argv[2:])\n")


def one_run(argv, env, ports, stamp_file, quiet_after):
    sniffer = common.Sniffer()
    proc = subprocess.Popen([sys.executable, "-c", LAUNCHER, stamp_file, *argv], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            stdin=subprocess.DEVNULL)
    try:
        arrived = common.wait_for_entry(sniffer, ports, 15)
        with open(stamp_file) as f:
            started = int(f.read())
        time.sleep(quiet_after)
        return None if arrived is None else (arrived - started) / 1e6
    finally:
        sniffer.close()
        common.stop(proc)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--platform", choices=["xcb", "offscreen"], default="xcb")
    parser.add_argument("--iptux", action="store_true", help="the program is iptux")
    args = parser.parse_args()

    common.ensure_private()
    common.setup_lan()
    home = tempfile.mkdtemp(prefix="wibblet-bench-home-")
    if args.iptux:
        argv, ports = [args.program], {2425}
    else:
        _folder, copy = common.program_copy(args.program)
        argv, ports = [copy], {1001}
    stamp_file = os.path.join(home, "exec-time")

    with common.Xvfb() as xvfb:
        env = xvfb.env() if args.platform == "xcb" else common.offscreen_env()
        env["HOME"] = home
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        # The first start writes the settings file; later ones find it.
        one_run(argv, env, ports, stamp_file, 0.5)
        times = []
        for run in range(args.runs):
            ms = one_run(argv, env, ports, stamp_file, 0.2)
            print(f"run {run + 1}: " + ("no entry seen" if ms is None else f"{ms:.1f} ms"),
                  flush=True)
            if ms is not None:
                times.append(ms)
            time.sleep(0.3)
    if not times:
        print("startup: no entry seen in any run")
        return 1
    print(f"startup median {statistics.median(times):.1f} ms "
          f"(min {min(times):.1f}, max {max(times):.1f}, {len(times)} runs, {args.platform})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
