#!/usr/bin/env python3
"""A network I/O device's discovery responder (UDP, port 8513 by default).

  udp_peer.py --reply full:product=576200,port=8080,https=1 --from 127.0.0.2 --from 127.0.0.3

Every datagram received is recorded as one line
  from=IP:PORT to=DEST t=MS len=N data=HEX
(DEST is the address it was sent to: a broadcast, a directed broadcast or
the peer's own; t counts milliseconds since the peer started). A datagram
that equals --query ("Version 1.03" by default) is answered with every
--reply in order, each sent from every --from address (default: the
listening socket), to the query's sender. Replies (little-endian numbers):
  full:product=N,port=P,https=0|1   kind 0x0301: port at 40, flags at 94
                                    (bit 1 = HTTPS), 48-bit N at 96
                                    (product number = N / 10 % 100000)
  short:text=57620                  kind 0x0101, the text from offset 11
  classic:byte4=3                   kind 0x0001, byte 4
  unknown:kind=0x0202               another kind, 102 bytes
  hex:data=0103ff...                raw bytes
Every kind takes len=L: cut or zero-padded to L bytes (L over 322 makes an
oversized datagram). --from-range 10.78.0.1:1000 adds 1000 consecutive
source addresses (they must be local, e.g. `ip route add local 10.78.0.0/16
dev lo`). --answer-once answers only the first query.
"""
import argparse
import ipaddress
import socket
import struct
import time

import peerlib

IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)


def build(spec):
    kind, _, rest = spec.partition(":")
    opts = {}
    for item in filter(None, rest.split(",")):
        k, _, v = item.partition("=")
        opts[k] = v
    num = lambda k, d: int(opts.get(k, d), 0)
    if kind == "full":
        b = bytearray(102)
        b[0:2] = struct.pack("<H", 0x0301)
        b[40:42] = struct.pack("<H", num("port", "80"))
        b[94] = 2 if num("https", "0") else 0
        b[96:102] = struct.pack("<Q", num("product", "0"))[:6]
    elif kind == "short":
        text = opts.get("text", "").encode("latin-1")
        b = bytearray(11) + text
        b[0:2] = struct.pack("<H", 0x0101)
    elif kind == "classic":
        b = bytearray(5)
        b[0:2] = struct.pack("<H", 0x0001)
        b[4] = num("byte4", "3")
    elif kind == "unknown":
        b = bytearray(102)
        b[0:2] = struct.pack("<H", num("kind", "0x0202"))
    elif kind == "hex":
        b = bytearray(bytes.fromhex(opts.get("data", "")))
    else:
        raise SystemExit("unknown reply kind: " + kind)
    if "len" in opts:
        n = num("len", "0")
        b = (b + bytearray(max(0, n - len(b))))[:n]
    return bytes(b)


def main():
    p = argparse.ArgumentParser()
    peerlib.add_common(p)
    p.add_argument("--bind", default="0.0.0.0")
    p.add_argument("--port", type=int, default=8513)
    p.add_argument("--query", default="Version 1.03")
    p.add_argument("--reply", action="append", default=[])
    p.add_argument("--from", dest="sources", action="append", default=[])
    p.add_argument("--from-range", help="FIRST:COUNT consecutive source addresses")
    p.add_argument("--answer-once", action="store_true")
    args = p.parse_args()
    peerlib.start_limit(args.limit, args.ready)
    replies = [build(r) for r in args.reply]
    sources = list(args.sources)
    if args.from_range:
        first, _, count = args.from_range.partition(":")
        base = ipaddress.IPv4Address(first)
        sources += [str(base + i) for i in range(int(count))]

    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    s.bind((args.bind, args.port))
    senders = []
    for src in sources:
        t = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        t.bind((src, 0))
        senders.append(t)
    if not senders:
        senders = [s]
    start = time.monotonic()
    peerlib.write_ready(args.ready, s.getsockname()[1])
    answered = False
    while True:
        data, anc, _, addr = s.recvmsg(65536, socket.CMSG_SPACE(12))
        dest = "?"
        for level, typ, cdata in anc:
            if level == socket.IPPROTO_IP and typ == IP_PKTINFO:
                dest = socket.inet_ntoa(cdata[8:12])
        line = "from=%s:%d to=%s t=%d len=%d data=%s\n" % (
            addr[0], addr[1], dest, int((time.monotonic() - start) * 1000), len(data), data.hex())
        peerlib.record(args.record, line.encode())
        if data != args.query.encode("latin-1") or (answered and args.answer_once):
            continue
        answered = True
        for r in replies:
            for t in senders:
                try:
                    t.sendto(r, addr)
                except OSError as e:
                    peerlib.log("udp_peer:", e)


if __name__ == "__main__":
    main()
