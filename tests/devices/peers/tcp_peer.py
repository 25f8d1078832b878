#!/usr/bin/env python3
"""A classic I/O server's binary TCP port (49153; 49159 for the 4.0 generation).

  tcp_peer.py --port 49153 --mode reply --reply-type 0x0030

Requests are structures of 8 + n bytes: 4 zero bytes, the type (16 bits),
the total length (16 bits), n data bytes, all little-endian.
Modes:
  reply    each request of type --answer-to (default 0x0001) is answered with
           --reply-type (0x0008 or 0x0030, or any other) as a structure of
           --reply-len bytes (at least 8; fewer sends a cut one)
  silent   accepts and reads, never answers
  close    accepts and closes at once
The record holds every byte received, in arrival order, across connections.
"""
import argparse
import socket
import struct
import threading

import peerlib


def serve(conn, args):
    try:
        if args.mode == "close":
            return
        buf = b""
        while True:
            chunk = conn.recv(4096)
            if not chunk:
                return
            peerlib.record(args.record, chunk)
            buf += chunk
            while len(buf) >= 8:
                rtype, length = struct.unpack_from("<HH", buf, 4)
                length = max(8, length)
                if len(buf) < length:
                    break
                buf = buf[length:]
                if args.mode == "reply" and rtype == args.answer_to:
                    n = max(args.reply_len, 8)
                    reply = struct.pack("<IHH", 0, args.reply_type, n) + bytes(n - 8)
                    conn.sendall(reply[:args.reply_len])
    except OSError as e:
        peerlib.log("tcp_peer:", e)
    finally:
        conn.close()


def main():
    p = argparse.ArgumentParser()
    peerlib.add_common(p)
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--port", type=int, default=49153)
    p.add_argument("--mode", default="reply", choices=["reply", "silent", "close"])
    p.add_argument("--reply-type", type=lambda v: int(v, 0), default=0x0030)
    p.add_argument("--reply-len", type=int, default=8)
    p.add_argument("--answer-to", type=lambda v: int(v, 0), default=0x0001)
    args = p.parse_args()
    peerlib.start_limit(args.limit, args.ready)
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind((args.bind, args.port))
    srv.listen(16)
    peerlib.write_ready(args.ready, srv.getsockname()[1])
    while True:
        conn, _ = srv.accept()
        threading.Thread(target=serve, args=(conn, args), daemon=True).start()


if __name__ == "__main__":
    main()
