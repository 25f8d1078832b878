#!/usr/bin/env python3
"""A device's web server for the tests: HTTP or HTTPS on one port.

  http_peer.py --port 0 --ready R --record REC --mode page --body 'Lattix #57620'

Modes (every answer closes the connection):
  page     200 with the body (--pad N puts N 'x' before it)
  pieces   200, the body sent in pieces of --piece bytes, flushed one by one
  status   --status CODE with the status text --reason and the body
  silent   accepts, reads the request and never answers (until the limit)
  hangup   reads the request and closes without a status line
  garbage  reads the request and answers text that is no HTTP, then closes
  backlog  listens with a full accept queue and never accepts: a connect hangs
  mute     accepts and neither reads nor sends (with --tls: a handshake that
           never completes)
  trickle  200 with the body, each byte of it after --pause seconds
  tricklehead  the whole answer, head included, one byte every --pause seconds
  headers  200 with --count extra header lines before the body
  redirect --status CODE (default 302 here) to --location, the same page
           again by default: a redirect loop
  reset    200 without a length, the body, then a reset instead of a close
  babble   text that is no HTTP (nor TLS) every --pause seconds, never closing
--tls NAME makes it HTTPS with a self-signed certificate for NAME, made at
start with openssl (so for a name other than the one the client uses, the
certificate is both of an unknown authority and for the wrong name).
A request for "/__stop" ends the peer. The record holds every request's bytes
(head and body) in arrival order, written before the answer.
"""
import argparse
import os
import socket
import ssl
import struct
import subprocess
import tempfile
import threading
import time

import peerlib


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return data
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or 0)
    while len(rest) < length:
        chunk = conn.recv(4096)
        if not chunk:
            break
        rest += chunk
        data += chunk
    return data


def make_cert(name, folder):
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=" + name, "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def answer(conn, args, body):
    req = read_request(conn)
    peerlib.record(args.record, req)
    if req.startswith(b"GET /__stop "):
        conn.close()
        os._exit(0)
    if args.mode == "silent":
        time.sleep(args.limit + 1)
        return
    if args.mode == "babble":
        while True:
            conn.sendall(b"Lattix binary port, no web server here\n")
            time.sleep(args.pause)
    if args.mode == "hangup" or not req:
        return
    if args.mode == "garbage":
        conn.sendall(b"Lattix binary port, no web server here\n")
        return
    code, reason = (args.status, args.reason) if args.mode == "status" else (200, "OK")
    extra = ""
    if args.mode == "redirect":
        code = args.status if args.status != 404 else 302
        reason = "Found"
        extra = "Location: %s\r\n" % (args.location or "http://127.0.0.1:%d/version" % args.port_seen)
    extra += "".join(h + "\r\n" for h in args.header)
    if args.mode == "headers":
        extra += "".join("X-Filler-%d: %s\r\n" % (i, "v" * 20) for i in range(args.count))
    if args.mode == "reset":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + body)
        time.sleep(args.pause)
        # SO_LINGER 0: the close sends a reset, not a FIN
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        return
    head = ("HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n%sConnection: close\r\n\r\n"
            % (code, reason, len(body), extra)).encode("latin-1")
    if args.mode == "tricklehead":
        for b in head + body:
            conn.sendall(bytes([b]))
            time.sleep(args.pause)
        return
    if args.mode == "trickle":
        conn.sendall(head)
        for b in body:
            conn.sendall(bytes([b]))
            time.sleep(args.pause)
        return
    if args.mode == "pieces":
        conn.sendall(head)
        for i in range(0, len(body), args.piece):
            conn.sendall(body[i:i + args.piece])
            time.sleep(args.pause)
    else:
        conn.sendall(head + body)


def serve(conn, args, body, ctx):
    try:
        if args.mode == "mute":
            time.sleep(args.limit + 1)
            return
        if ctx:
            conn = ctx.wrap_socket(conn, server_side=True)
        answer(conn, args, body)
    except (OSError, ssl.SSLError) as e:
        peerlib.log("http_peer:", e)
    finally:
        if args.mode != "reset":
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        conn.close()


def main():
    p = argparse.ArgumentParser()
    peerlib.add_common(p)
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--mode", default="page",
                   choices=["page", "pieces", "status", "silent", "hangup", "garbage", "backlog", "mute",
                            "trickle", "tricklehead", "headers", "redirect", "reset", "babble"])
    p.add_argument("--body", default="Lattix #57620\r\n")
    p.add_argument("--pad", type=int, default=0)
    p.add_argument("--piece", type=int, default=7)
    p.add_argument("--pause", type=float, default=0.05)
    p.add_argument("--status", type=int, default=404)
    p.add_argument("--reason", default="Not Found")
    p.add_argument("--tls", metavar="NAME")
    p.add_argument("--count", type=int, default=1000)
    p.add_argument("--location", default="")
    p.add_argument("--header", action="append", default=[], help="an extra header line of every answer")
    args = p.parse_args()
    peerlib.start_limit(args.limit, args.ready)
    body = b"x" * args.pad + args.body.encode("latin-1")

    ctx = None
    if args.tls:
        folder = tempfile.mkdtemp(prefix="krv-cert-")
        cert, key = make_cert(args.tls, folder)
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(cert, key)

    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind((args.bind, args.port))
    if args.mode == "backlog":
        # Fill the accept queue with connections of our own; further SYNs are dropped.
        srv.listen(0)
        fillers = []
        for _ in range(3):
            s = socket.socket()
            s.setblocking(False)
            try:
                s.connect(srv.getsockname())
            except BlockingIOError:
                pass
            fillers.append(s)
        time.sleep(0.2)
        peerlib.write_ready(args.ready, srv.getsockname()[1])
        time.sleep(args.limit + 1)
        return
    srv.listen(16)
    args.port_seen = srv.getsockname()[1]
    peerlib.write_ready(args.ready, srv.getsockname()[1])
    while True:
        conn, _ = srv.accept()
        threading.Thread(target=serve, args=(conn, args, body, ctx), daemon=True).start()


if __name__ == "__main__":
    main()
