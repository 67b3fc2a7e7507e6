#!/usr/bin/env python3
"""Start-up: from exec to the first entry datagram on the wire, and to the
tray icon shown; resident memory after start.

    startup.py PROGRAM [--floor FLOOR] [--iptux IPTUX] [--runs 7]
               [--platform xcb|offscreen]

Each run starts a program on a cable inside a private network namespace
(see common.setup_lan) under Xvfb with openbox and an XEmbed tray (trayer),
timestamps the exec just before it happens, the entry as it arrives at the
far end of the cable, and the icon's window as it is mapped inside the tray
(xwatch.py tray), reads the resident memory 2 s after the exec, and ends the
program. FLOOR is the floor program (bench/floor: a minimal Qt tray program
with a UDP socket that sends one entry-like datagram at start), IPTUX is
iptux; the programs given take their runs in turns, in the same run, so
that the machine's load falls on all alike. A first start of each, which
creates its settings, is not counted. Prints one line per run and the
medians.
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

HERE = os.path.dirname(os.path.abspath(__file__))
RSS_AT = 2.0

# Writes the time, then becomes the program: nothing of Python's own
# start-up lies between the stamp and the exec.
LAUNCHER = ("import os, sys, time\n"
            "fd = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC)\n"
            "t = time.time_ns()\n"
            "os.write(fd, str(t).encode()); os.close(fd)\n"
            "os.execv(sys.argv[2], sys.argv[2:])\n")


def tray_watcher(xvfb, env):
    """xwatch.py tray, ready; None without a tray."""
    trays = xvfb.tray_windows() if xvfb else []
    if not trays:
        return None
    proc = subprocess.Popen([sys.executable, os.path.join(HERE, "xwatch.py"), "tray",
                             *map(str, trays)], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, text=True)
    if proc.stdout.readline().strip() != "ready":
        proc.kill()
        proc.wait()
        return None
    return proc


def one_run(program, xvfb, env, stamp_file):
    """(ms to the entry, ms to the icon, resident KiB); None for what was
    not seen."""
    argv, ports = program["argv"], program["ports"]
    env = dict(env, HOME=program["home"])
    sniffer = common.Sniffer()
    watcher = tray_watcher(xvfb, env)
    proc = subprocess.Popen([sys.executable, "-c", LAUNCHER, stamp_file, *argv], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            stdin=subprocess.DEVNULL)
    try:
        arrived = common.wait_for_entry(sniffer, ports, 15)
        with open(stamp_file) as f:
            started = int(f.read())
        shown = None
        if watcher is not None:
            try:
                out, _ = watcher.communicate(timeout=5)
                shown = int(out) if out.strip() else None
            except (subprocess.TimeoutExpired, ValueError):
                pass
        time.sleep(max(0.0, started / 1e9 + RSS_AT - time.time()))
        pid = common.program_pid(proc.pid, os.path.basename(argv[-1]), timeout=1)
        rss = common.rss_kib(pid) if proc.poll() is None else None
        ms = lambda stamp: None if stamp is None else (stamp - started) / 1e6  # noqa: E731
        return ms(arrived), ms(shown), rss
    finally:
        sniffer.close()
        if watcher is not None and watcher.poll() is None:
            watcher.kill()
            watcher.wait()
        common.stop(proc)


def summary(name, values, unit, fmt="{:.1f}"):
    seen = [v for v in values if v is not None]
    if not seen:
        return f"  {name}: not seen"
    return (f"  {name}: median {fmt.format(statistics.median(seen))} {unit} "
            f"(min {fmt.format(min(seen))}, max {fmt.format(max(seen))}, "
            f"{len(seen)} of {len(values)} runs)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--floor", help="the floor program (bench/floor), measured alongside")
    parser.add_argument("--iptux", help="iptux, measured alongside")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--platform", choices=["xcb", "offscreen"], default="xcb")
    args = parser.parse_args()

    common.ensure_private()
    common.setup_lan()
    programs = []
    for name, binary, ports in (("wibblet", args.program, {1001}), ("floor", args.floor, {1001}),
                                ("iptux", args.iptux, {2425})):
        if binary:
            argv = [binary] if name == "iptux" else [common.program_copy(binary)[1]]
            programs.append({"name": name, "argv": argv, "ports": ports,
                             "home": tempfile.mkdtemp(prefix="wibblet-bench-home-"),
                             "runs": []})
    stamp_file = os.path.join(tempfile.mkdtemp(prefix="wibblet-bench-"), "exec-time")

    with common.Xvfb(tray=True, wm=True) as xvfb:
        env = xvfb.env() if args.platform == "xcb" else common.offscreen_env()
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        x = xvfb if args.platform == "xcb" else None
        for program in programs:
            # The first start writes the settings file; later ones find it.
            one_run(program, x, env, stamp_file)
        for run in range(args.runs):
            for program in programs:
                entry, icon, rss = one_run(program, x, env, stamp_file)
                program["runs"].append((entry, icon, rss))
                text = lambda v, unit: "not seen" if v is None else f"{v:.1f} {unit}"  # noqa
                print(f"run {run + 1} {program['name']}: entry {text(entry, 'ms')}, "
                      f"tray icon {text(icon, 'ms')}, "
                      f"rss {text(rss and rss / 1024, 'MiB')}", flush=True)
                time.sleep(0.2)
    failed = False
    for program in programs:
        entries, icons, rss = zip(*program["runs"])
        print(f"startup {program['name']} ({args.platform}, openbox and trayer):")
        print(summary("exec to first entry on the wire", entries, "ms"))
        print(summary("exec to tray icon shown", icons, "ms"))
        print(summary(f"resident memory {RSS_AT:.0f} s after exec",
                      [r and r / 1024 for r in rss], "MiB"))
        failed |= program["name"] == "wibblet" and not any(e is not None for e in entries)
    if len(programs) > 1 and programs[1]["name"] == "floor":
        med = lambda values: statistics.median(v for v in values if v is not None)  # noqa
        try:
            w, f = (list(zip(*p["runs"])) for p in programs[:2])
            print(f"wibblet over the floor: entry +{med(w[0]) - med(f[0]):.1f} ms, "
                  f"tray icon +{med(w[1]) - med(f[1]):.1f} ms, "
                  f"rss +{(med(w[2]) - med(f[2])) / 1024:.1f} MiB")
        except statistics.StatisticsError:
            print("wibblet over the floor: a figure is missing")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
