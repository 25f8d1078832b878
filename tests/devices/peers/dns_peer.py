#!/usr/bin/env python3
"""A name server that knows nothing: every query gets NXDOMAIN ("no such
name"), except names ending in --fail-suffix, which get SERVFAIL (the server
failed, so the look-up should be tried again later). UDP only.

  dns_peer.py --bind 127.0.0.1 --port 53 --fail-suffix .servfail.test
"""
import argparse
import socket

import peerlib


def qname(msg):
    labels, i = [], 12
    while i < len(msg) and msg[i]:
        n = msg[i]
        labels.append(msg[i + 1:i + 1 + n].decode("latin-1"))
        i += 1 + n
    return ".".join(labels), i + 5


def main():
    p = argparse.ArgumentParser()
    peerlib.add_common(p)
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--port", type=int, default=53)
    p.add_argument("--fail-suffix", default=".servfail.test")
    args = p.parse_args()
    peerlib.start_limit(args.limit, args.ready)
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((args.bind, args.port))
    peerlib.write_ready(args.ready, s.getsockname()[1])
    while True:
        msg, addr = s.recvfrom(4096)
        if len(msg) < 12:
            continue
        peerlib.record(args.record, msg)
        name, end = qname(msg)
        rcode = 2 if name.lower().endswith(args.fail_suffix) else 3
        flags = 0x8000 | (msg[2] & 0x01) << 8 | 0x0080 | rcode  # response, RD copied, RA
        reply = msg[0:2] + bytes([flags >> 8, flags & 0xFF]) + b"\x00\x01\x00\x00\x00\x00\x00\x00" + msg[12:end]
        s.sendto(reply, addr)


if __name__ == "__main__":
    main()
