#!/usr/bin/env python3
"""UDP datagrams with a source address of our choosing, for the LAN tests.
Run only inside a host's namespace of the test LAN (raw sockets need root,
and forged sources never leave the test's own namespaces).

  forge.py send --src ADDR --to ADDR [--sport 1001] [--dport 1001]
                [--count N] [--rate R] [--hex] PAYLOAD
      Sends PAYLOAD (text, or bytes in hex with --hex) N times from ADDR,
      at R datagrams a second (0: as fast as it goes). "{i}" in the
      payload and in --src ("10.{i}.9.7") is replaced by the datagram's
      index, and "{i8}" by the index mod 256, so one call can vary them.
  As a module: send(src, dst, payload, sport=1001, dport=1001).
"""
import argparse
import socket
import struct
import sys
import time


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


_raw = None


def send(src, dst, payload, sport=1001, dport=1001):
    """One IPv4 UDP datagram from src:sport to dst:dport."""
    global _raw
    if _raw is None:
        _raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
        _raw.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s, d = socket.inet_aton(src), socket.inet_aton(dst)
    length = 8 + len(payload)
    pseudo = s + d + struct.pack("!BBH", 0, socket.IPPROTO_UDP, length)
    udp = struct.pack("!HHHH", sport, dport, length, 0)
    udp = struct.pack("!HHHH", sport, dport, length, checksum(pseudo + udp + payload) or 0xFFFF)
    # The kernel fills in the IP header's length, identification and checksum.
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 0, 0, 0, 64, socket.IPPROTO_UDP, 0, s, d)
    _raw.sendto(ip + udp + payload, (dst, 0))


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("send")
    p.add_argument("--src", required=True)
    p.add_argument("--to", required=True)
    p.add_argument("--sport", type=int, default=1001)
    p.add_argument("--dport", type=int, default=1001)
    p.add_argument("--count", type=int, default=1)
    p.add_argument("--rate", type=float, default=0)
    p.add_argument("--hex", action="store_true")
    p.add_argument("payload")
    args = parser.parse_args()
    start = time.monotonic()
    for i in range(args.count):
        text = args.payload.replace("{i}", str(i)).replace("{i8}", str(i % 256))
        payload = bytes.fromhex(text) if args.hex else text.encode("cp932")
        src = args.src.replace("{i}", str(i)).replace("{i8}", str(i % 256))
        send(src, args.to, payload, args.sport, args.dport)
        if args.rate > 0:
            delay = start + (i + 1) / args.rate - time.monotonic()
            if delay > 0:
                time.sleep(delay)
    return 0


if __name__ == "__main__":
    sys.exit(main())
