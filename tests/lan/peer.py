#!/usr/bin/env python3
"""A protocol peer for the LAN tests, run inside a host's network namespace.

  peer.py listen --port P --out FILE [--duration S] [--send DEST TEXT]...
      Binds UDP port P on every address, sends the given datagrams from it,
      then records every datagram that arrives as one JSON line in FILE
      (source, destination, text) until S seconds have passed or "quit" is
      read. Lines on standard input: "send DEST TEXT", "quit".
      TEXT takes backslash escapes (\\0 is NUL). FILE starts with a line
      {"ready": true} once the port is bound, or {"bind_error": errno}.
  peer.py check [--within S] FILE EXPR
      Evaluates the Python expression EXPR over P, the list of datagrams in
      FILE (fields: src, dst, sport, text, ver, no, packet, user, host, cmd,
      extra, and raw: the bytes, from sniff.py; and consecutive(numbers)), again and again for up to S seconds;
      exits 0 once it holds, else prints the datagrams and exits 1.
  peer.py show FILE
      Prints the datagrams of FILE, one per line.
"""
import argparse
import codecs
import json
import select
import socket
import sys
import time

# Not exported by every Python's socket module.
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)
SO_RCVBUFFORCE = getattr(socket, "SO_RCVBUFFORCE", 33)


def unescape(text):
    return codecs.decode(text.encode("utf-8"), "unicode_escape").encode("latin-1").decode("utf-8")


def encode(text):
    return text.encode("cp932", errors="replace")


def destination(ancillary):
    for level, kind, data in ancillary:
        if level == socket.IPPROTO_IP and kind == IP_PKTINFO and len(data) >= 12:
            # struct in_pktinfo: ifindex, local address, destination address
            return socket.inet_ntoa(data[8:12])
    return None


def listen(args):
    out = open(args.out, "a", buffering=1, encoding="utf-8")

    def record(entry):
        out.write(json.dumps(entry, ensure_ascii=False) + "\n")

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    # Room for the answers to a burst (thousands of receipts) while this
    # process is not scheduled; past the usual limit, which root may pass.
    try:
        sock.setsockopt(socket.SOL_SOCKET, SO_RCVBUFFORCE, 8 * 1024 * 1024)
    except OSError:
        pass
    try:
        sock.bind(("", args.port))
    except OSError as error:
        record({"bind_error": error.errno})
        return 1
    record({"ready": True})

    def send(dest, text):
        sock.sendto(encode(unescape(text)), (dest, args.port))
        record({"sent": dest, "text": unescape(text)})

    for dest, text in args.send or []:
        send(dest, text)

    deadline = time.monotonic() + args.duration
    watched = [sock, sys.stdin]
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        readable, _, _ = select.select(watched, [], [], left)
        if sock in readable:
            data, ancillary, _, (src, sport) = sock.recvmsg(65536, 256)
            record({"src": src, "sport": sport, "dst": destination(ancillary),
                    "hex": data.hex(), "text": data.decode("cp932", errors="replace")})
        if sys.stdin in readable:
            line = sys.stdin.readline()
            if not line:
                watched.remove(sys.stdin)
                continue
            words = line.rstrip("\n").split(" ", 2)
            if words[0] == "quit":
                break
            if words[0] == "send" and len(words) == 3:
                send(words[1], words[2])
    return 0


class Datagram:
    def __init__(self, entry):
        self.src = entry["src"]
        self.dst = entry.get("dst")
        self.sport = entry["sport"]
        self.text = entry["text"]
        # The bytes as sent, where the recorder kept them (sniff.py does).
        self.raw = bytes.fromhex(entry["hex"]) if "hex" in entry else None
        parts = self.text.split(":", 5)
        parts += [None] * (6 - len(parts))
        self.ver, self.no, self.user, self.host, command, self.extra = parts
        try:
            self.cmd = int(command)
        except (TypeError, ValueError):
            self.cmd = None
        try:
            self.packet = int(self.no)
        except (TypeError, ValueError):
            self.packet = None

    def __repr__(self):
        return "%s:%s -> %s %r" % (self.src, self.sport, self.dst, self.text)


def load(path):
    with open(path, encoding="utf-8") as f:
        return [Datagram(e) for e in map(json.loads, f) if "src" in e]


def consecutive(numbers):
    return all(b == a + 1 for a, b in zip(numbers, numbers[1:]))


def check(args):
    expr = compile(args.expr, "EXPR", "eval")
    deadline = time.monotonic() + args.within
    while True:
        datagrams = load(args.file)
        if eval(expr, {"P": datagrams, "consecutive": consecutive}):
            return 0
        if time.monotonic() >= deadline:
            break
        time.sleep(0.05)
    print("does not hold: %s" % args.expr, file=sys.stderr)
    for d in datagrams:
        print("  %r" % d, file=sys.stderr)
    return 1


def show(args):
    for d in load(args.file):
        print(repr(d))
    return 0


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("listen")
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--duration", type=float, default=120)
    p.add_argument("--send", nargs=2, action="append", metavar=("DEST", "TEXT"))
    p.set_defaults(run=listen)
    p = commands.add_parser("check")
    p.add_argument("--within", type=float, default=0)
    p.add_argument("file")
    p.add_argument("expr")
    p.set_defaults(run=check)
    p = commands.add_parser("show")
    p.add_argument("file")
    p.set_defaults(run=show)
    args = parser.parse_args()
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main())
