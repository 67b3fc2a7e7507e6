#!/usr/bin/env python3
"""Records the UDP datagrams a host sends and receives on one port, for the
LAN tests whose other end holds that port itself (a foreign client).

  sniff.py --iface IF --port P --out FILE [--duration S]
      Watches interface IF (both directions) and writes every UDP datagram
      from or to port P as one JSON line in FILE, in the format of
      peer.py listen (with the capture time added), so peer.py check and
      show read it. FILE starts with
      {"ready": true} once the capture runs. A datagram whose command sets
      the UTF-8 flag (0x800000) is decoded as UTF-8, any other as code
      page 932.
"""
import argparse
import json
import socket
import struct
import sys
import time

ETH_P_ALL = 0x0003
ETH_P_IP = 0x0800
UTF8_FLAG = 0x800000


def command_of(data):
    fields = data.split(b":", 5)
    try:
        return int(fields[4])
    except (IndexError, ValueError):
        return 0


def decode(data):
    if command_of(data) & UTF8_FLAG:
        return data.decode("utf-8", errors="replace")
    return data.decode("cp932", errors="replace")


def udp_of(packet, port):
    """(src, sport, dst, dport, payload) of an IPv4 UDP packet from or to
    port, else None. Fragments are not put together: our datagrams are small."""
    if len(packet) < 20 or packet[0] >> 4 != 4 or packet[9] != socket.IPPROTO_UDP:
        return None
    header = (packet[0] & 0x0F) * 4
    flags_offset = struct.unpack("!H", packet[6:8])[0]
    if flags_offset & 0x3FFF:
        return None
    total = struct.unpack("!H", packet[2:4])[0]
    sport, dport, length = struct.unpack("!HHH", packet[header:header + 6])
    if port not in (sport, dport):
        return None
    payload = packet[header + 8:min(total, header + length)]
    return (socket.inet_ntoa(packet[12:16]), sport, socket.inet_ntoa(packet[16:20]), dport,
            payload)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--iface", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--duration", type=float, default=120)
    args = parser.parse_args()

    out = open(args.out, "a", buffering=1, encoding="utf-8")
    # Cooked packets (no link header). Only an every-protocol socket is handed
    # the outgoing ones too.
    sock = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(ETH_P_ALL))
    sock.bind((args.iface, ETH_P_ALL))
    sock.settimeout(0.5)
    out.write(json.dumps({"ready": True}) + "\n")

    deadline = time.monotonic() + args.duration
    while time.monotonic() < deadline:
        try:
            packet, address = sock.recvfrom(65536)
        except socket.timeout:
            continue
        if address[1] != ETH_P_IP:
            continue
        datagram = udp_of(packet, args.port)
        if datagram is None:
            continue
        src, sport, dst, dport, payload = datagram
        out.write(json.dumps({"time": time.time(), "src": src, "sport": sport, "dst": dst,
                              "dport": dport,
                              "hex": payload.hex(), "text": decode(payload)},
                             ensure_ascii=False) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
