#!/usr/bin/env python3
"""Hostile traffic for test_flood.sh, run inside a host's network namespace.

  flood.py flood --to ADDR [--total 20000] [--hosts 5000] [--seed S] [--gate N]
      Binds UDP port 1001 and sends --total datagrams to ADDR:1001 as fast as
      it can: entries from --hosts distinct host names, exits, absences,
      receipts for packet numbers never sent, and malformed datagrams of many
      kinds, shuffled. With --gate, prints "gate I" after every N datagrams
      and goes on once a line "go" has been read. Then collects the answers
      until none has come for a second. Prints "sent KIND N" per kind,
      "expect entries MIN MAX" (how many entries must and may be answered)
      and "answers CMD N" per command.
  flood.py storm --hosts N [--window S] [--timeout T]
      Binds UDP port 1001, prints "ready", waits for an entry (command with
      low byte 1) from anyone, then answers it (3) from N distinct host names
      "stormNNNNN" spread evenly over --window seconds, once a line "go"
      has been read. Prints "entry from ADDR", then the figures.
  flood.py blast --to ADDR [--seconds 8] [--count 4000000]
      Sends datagrams the program ignores (command 0, with 100 characters
      of code page 932 text to decode) to ADDR:1001 as fast as it can, from a port of the kernel's choosing, until --seconds
      have passed or --count have gone. Prints "blast N in T ms".
  flood.py settings BEFORE AFTER
      Compares two copies of a settings file: both must parse; every key of
      every section but BRD_CAST must keep its value; BRD_CAST may only
      grow (its count not smaller, no entry changed). Exits 1 otherwise.
"""
import argparse
import collections
import random
import socket
import sys
import time

PORT = 1001
BIG = 65507  # the largest UDP payload over IPv4
BUFFER = 64 * 1024 * 1024
SO_RCVBUFFORCE = getattr(socket, "SO_RCVBUFFORCE", 33)  # not in every Python


def header(no, user, host, command):
    return b"1:%s:%s:%s:%s:" % (no, user, host, command)


def build(total, hosts, rng):
    """(kind, answered, bytes) for every datagram of the flood, in sending
    order. answered: True for an entry the program must answer, False for a
    datagram it must not answer, None where either is fair (a field cut
    short by a NUL, or colons next to bytes no code page 932 reader agrees on)."""
    out = []

    def add(kind, answered, data):
        out.append((kind, answered, data))

    no = iter(range(1, 10**9))

    def n():
        return b"%d" % next(no)

    # Presence from hosts the program keeps, in both code sets.
    for i in range(hosts):
        add("entry", True, header(n(), b"user%05d" % i, b"flood%05d" % i,
                                  b"1" if i % 2 else b"6291457") + b"nick%05d\0" % i)
    for i in range(0, hosts, 5):
        add("exit", False, header(n(), b"user", b"flood%05d" % i,
                                  b"2" if i % 2 else b"6291458") + b"\0")
    for i in range(1, hosts, 5):
        add("absence", False, header(n(), b"user", b"flood%05d" % i,
                                     b"260" if i % 2 else b"6291716") + b"\0\0\0\0")
    for i in range(hosts // 5):
        add("receipt", False, header(n(), b"user", b"flood%05d" % (i * 3 % hosts), b"33")
            + b"%d\0" % (2000000000 + i))

    # Names that would rewrite the settings file if one were ever put there.
    for i in range(100):
        add("injected_name", True,
            header(n(), b"[BSC_CFG]\r\nIP_MSG=1", b"x%d\r\n[DEFAULT]\r\nDEF_OK=0" % (i % 10), b"1")
            + b"[BRD_CAST]\r\nBRC_CNT=-1\0")

    malformed = total - len(out)
    kinds = ["no_colons", "four_colons", "letters", "past_32_bits", "big", "bad_cp932",
             "nuls", "long_host", "empty"]
    share = {"big": 200, "long_host": 500, "empty": 100}
    rest = (malformed - sum(share.values())) // (len(kinds) - len(share))
    counts = {k: share.get(k, rest) for k in kinds}
    counts["no_colons"] += malformed - sum(counts.values())

    def pick(kind, *variants):
        add(kind, *rng.choice(variants))

    printable = bytes(range(0x20, 0x7F)).replace(b":", b"")
    bad_cp932 = [b"\x81", b"\x81\x00", b"\x80", b"\xa0", b"\xfd", b"\xfe", b"\xff", b"\x85\x40",
                 b"\x81\x7f", b"\xef\xfc", b"\x82", b"\x9f\xff"]
    for k in range(counts["no_colons"]):
        add("no_colons", False, bytes(rng.choice(printable) for _ in range(rng.randint(1, 60))))
    for k in range(counts["four_colons"]):
        pick("four_colons", (False, b"1:%d:u:h:1" % k), (False, b"::::"), (False, b"1:2:3:4:20hello"),
             (False, b"1:%d:user:flood%05d:32" % (k, k % hosts)))
    for k in range(counts["letters"]):
        pick("letters",
             (False, header(n(), b"u", b"letters", b"abc") + b"\0"),
             (False, header(n(), b"u", b"letters", b"1x") + b"\0"),
             (False, header(n(), b"u", b"letters", b"0x1") + b"x\0"),
             (False, header(b"zz", b"u", b"letters", b"1e3") + b"\0"),
             (None, header(b"zz", b"u", b"letters", b"1") + b"\0"),
             (False, header(n(), b"u", b"flood%05d" % (k % hosts), b"33") + b"twelve\0"),
             (False, header(n(), b"u", b"letters", b"-") + b"\0"))
    for k in range(counts["past_32_bits"]):
        pick("past_32_bits",
             (False, header(n(), b"u", b"big", b"4294967297") + b"\0"),
             (False, header(n(), b"u", b"big", b"2147483648") + b"\0"),
             (False, header(n(), b"u", b"big", b"-2147483649") + b"\0"),
             (False, header(n(), b"u", b"big", b"9" * 40) + b"\0"),
             (False, header(b"9" * 30, b"u", b"big", b"33") + b"99999999999999999999\0"),
             (False, header(n(), b"u", b"flood%05d" % (k % hosts), b"33") + b"4294967296\0"))
    for k in range(counts["big"]):
        if k % 2:
            data = bytes(rng.choice(printable) for _ in range(64)) * (BIG // 64 + 1)
            add("big", False, data[:BIG])
        else:
            # An entry whose nickname fills the datagram, from a few hosts.
            data = header(n(), b"u", b"huge%d" % (k % 10), b"1") + b"N" * BIG
            add("big", True, data[:BIG])
    for k in range(counts["bad_cp932"]):
        bad = rng.choice(bad_cp932)
        pick("bad_cp932",
             (None, header(n(), b"u" + bad, b"cp932-%d" % (k % 50) + bad, b"1") + bad + b"\0"),
             (None, header(n(), bad, bad, bad) + bad),
             (False, bad * rng.randint(1, 200)),
             (False, header(n(), b"u", b"flood%05d" % (k % hosts), b"33") + bad + b"\0"))
    for k in range(counts["nuls"]):
        pick("nuls",
             (False, b"\0" * rng.randint(1, 300)),
             (False, b"\0:\0:\0:\0:\0:\0"),
             (None, b"1\0:2\0:u\0:nul%d\0:1\0:\0" % (k % 20)),
             (None, b"\0:\0:\0:\0:1:\0"),
             (False, b":".join([b"\0"] * rng.randint(5, 40))))
    for k in range(counts["long_host"]):
        name = (b"L%02d" % (k % 50)) * 3334
        add("long_host", True, header(n(), b"u", name[:10000], b"1") + b"long\0")
    for k in range(counts["empty"]):
        add("empty", False, b"")

    rng.shuffle(out)
    return out


def flood(args):
    rng = random.Random(args.seed)
    datagrams = build(args.total, args.hosts, rng)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, SO_RCVBUFFORCE, BUFFER)
    sock.bind(("", PORT))
    # Malformed datagrams come from a port of their own.
    other = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    to = (args.to, PORT)
    sent = collections.Counter()
    start = time.monotonic()
    for i, (kind, _answered, data) in enumerate(datagrams):
        if args.gate and i and i % args.gate == 0:
            print("gate %d" % i, flush=True)
            if sys.stdin.readline().strip() != "go":
                return 1
        (other if kind in ("no_colons", "nuls", "empty") else sock).sendto(data, to)
        sent[kind] += 1
    elapsed = time.monotonic() - start
    answers = collections.Counter()
    sock.settimeout(1.0)
    while True:
        try:
            data = sock.recv(70000)
        except socket.timeout:
            break
        fields = data.split(b":", 5)
        answers[fields[4].decode("latin-1") if len(fields) == 6 else "?"] += 1
    for kind in sorted(sent):
        print("sent %s %d" % (kind, sent[kind]))
    print("sent total %d in %.0f ms" % (sum(sent.values()), elapsed * 1000))
    must = sum(1 for _k, answered, _d in datagrams if answered)
    may = sum(1 for _k, answered, _d in datagrams if answered is None)
    print("expect entries %d %d" % (must, must + may))
    for command in sorted(answers):
        print("answers %s %d" % (command, answers[command]))
    return 0


def storm(args):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, SO_RCVBUFFORCE, BUFFER)
    sock.bind(("", PORT))
    print("ready", flush=True)
    sock.settimeout(args.timeout)
    while True:
        try:
            data, (src, _port) = sock.recvfrom(70000)
        except socket.timeout:
            print("no entry")
            return 1
        fields = data.split(b":", 5)
        try:
            if len(fields) == 6 and int(fields[4]) & 0xFF == 1:
                break
        except ValueError:
            pass
    answers = [b"1:%d:user%05d:storm%05d:3:nick%05d\0" % (i + 1, i, i, i)
               for i in range(args.hosts)]
    print("entry from %s" % src, flush=True)
    if sys.stdin.readline().strip() != "go":
        return 1
    slices = max(1, int(args.window * 1000))
    per_slice = -(-args.hosts // slices)
    start = time.monotonic()
    for k in range(0, args.hosts, per_slice):
        due = start + (k // per_slice) * args.window / slices
        while time.monotonic() < due:
            pass
        for datagram in answers[k:k + per_slice]:
            sock.sendto(datagram, (src, PORT))
    print("storm %d answers to %s in %.0f ms" % (args.hosts, src, (time.monotonic() - start) * 1000),
          flush=True)
    return 0


def blast(args):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    send, to = sock.sendto, (args.to, PORT)
    text = ("\u3042\u30a2\u6f22" * 34)[:100].encode("cp932")
    datagrams = [b"1:%d:u:blast:0:%s\0" % (i, text) for i in range(1000)]
    sent = 0
    start = time.monotonic()
    while sent < args.count and time.monotonic() < start + args.seconds:
        for data in datagrams[:args.count - sent]:
            try:
                send(data, to)
            except OSError:  # a full send buffer or an ICMP error: go on
                pass
        sent += min(len(datagrams), args.count - sent)
    print("blast %d in %.0f ms" % (sent, (time.monotonic() - start) * 1000), flush=True)
    return 0


def parse_settings(path):
    """{section: {key: value}} with names folded as the program folds them;
    raises ValueError on a line that is neither blank, a section nor a key."""
    sections = {}
    current = None
    with open(path, "rb") as f:
        data = f.read()
    for number, line in enumerate(data.split(b"\n"), 1):
        line = line.rstrip(b"\r")
        if not line.strip():
            continue
        text = line.decode("cp932")
        if text.startswith("[") and text.rstrip().endswith("]"):
            current = sections.setdefault(text.strip()[1:-1].strip().lower(), {})
        elif "=" in text and current is not None:
            key, value = text.split("=", 1)
            current[key.strip().lower()] = value.strip()
        else:
            raise ValueError("%s:%d: %r" % (path, number, text))
    return sections


def settings(args):
    try:
        before, after = parse_settings(args.before), parse_settings(args.after)
    except (ValueError, UnicodeDecodeError) as error:
        print("settings file does not parse: %s" % error)
        return 1
    wrong = []
    for section, keys in before.items():
        for key, value in keys.items():
            now = after.get(section, {}).get(key)
            if section == "brd_cast" and key == "brc_cnt":
                if now is None or not now.isdigit() or int(now) < int(value or 0):
                    wrong.append("[%s] %s: %r -> %r" % (section, key, value, now))
            elif now != value:
                wrong.append("[%s] %s: %r -> %r" % (section, key, value, now))
    for section in set(after) - set(before) - {"brd_cast"}:
        wrong.append("new section [%s]" % section)
    for line in wrong:
        print(line)
    print("%d keys before, %d after" % (sum(map(len, before.values())), sum(map(len, after.values()))))
    return 1 if wrong else 0


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("flood")
    p.add_argument("--to", required=True)
    p.add_argument("--total", type=int, default=20000)
    p.add_argument("--hosts", type=int, default=5000)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--gate", type=int, default=0)
    p.set_defaults(run=flood)
    p = commands.add_parser("storm")
    p.add_argument("--hosts", type=int, default=5000)
    p.add_argument("--window", type=float, default=0.1)
    p.add_argument("--timeout", type=float, default=15)
    p.set_defaults(run=storm)
    p = commands.add_parser("blast")
    p.add_argument("--to", required=True)
    p.add_argument("--seconds", type=float, default=8)
    p.add_argument("--count", type=int, default=4000000)
    p.set_defaults(run=blast)
    p = commands.add_parser("settings")
    p.add_argument("before")
    p.add_argument("after")
    p.set_defaults(run=settings)
    args = parser.parse_args()
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main())
