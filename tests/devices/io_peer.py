#!/usr/bin/env python3
"""Simulated network I/O device for the dialog's tests (standard library only).

Every mode logs what it received, one JSON object a line, writes its ready
file once it listens, and ends by itself after --limit seconds or as soon as
READY.stop exists; once its sockets are closed it writes READY.ended, so the
next peer may take the same port.

  udp   --replies HEX,HEX...   answers each query on UDP 8513 with these datagrams
        [--burst N --net A.B]  ...or with one reply from each of N addresses A.B.x.y
                               (sent raw with those source addresses)
        [--once]               ends after the first query
        [--trigger FILE]       sends the burst once FILE exists
        [--rate R]             the burst at R datagrams a second
        [--flood S]            the burst's senders over and over for S seconds at R
        ("-" as a reply: an empty datagram)
  sniff --iface IF             records every IPv4 packet arriving on IF
  bin   --port P --reply HEX|silent|close
                               binary TCP port: after the third request sends the
                               reply, stays silent, or closes
  http  --port P --status N --body TEXT [--tls CERT KEY] [--pieces]
                               answers every request; --status 0 hangs up
                               without a status line, -1 never answers
"""
import argparse
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time

IP_PKTINFO = 8


_log_lock = threading.Lock()


# Connections log from threads of their own: one whole line at a time. The
# order of lines is the order of logging, not of connecting.
def log_line(path, obj):
    with _log_lock, open(path, "a") as f:
        f.write(json.dumps(obj) + "\n")


def ready(path):
    if path:
        with open(path + ".tmp", "w") as f:
            f.write("ready\n")
        os.replace(path + ".tmp", path)


stopping = threading.Event()


def watch_stop(path):
    while not os.path.exists(path + ".stop"):
        time.sleep(0.02)
    stopping.set()


def running(end):
    return time.monotonic() < end and not stopping.is_set()


# Short waits, so that a stop is seen at once.
def wait_left(end):
    return max(0.01, min(0.1, end - time.monotonic()))


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    s = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while s >> 16:
        s = (s & 0xFFFF) + (s >> 16)
    return ~s & 0xFFFF


def raw_udp(src, dst, sport, dport, payload):
    udp_len = 8 + len(payload)
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + udp_len, 0, 0, 64, socket.IPPROTO_UDP, 0,
                     socket.inet_aton(src), socket.inet_aton(dst))
    ip = ip[:10] + struct.pack("!H", checksum(ip)) + ip[12:]
    pseudo = socket.inet_aton(src) + socket.inet_aton(dst) + struct.pack("!BBH", 0, socket.IPPROTO_UDP, udp_len)
    udp = struct.pack("!HHHH", sport, dport, udp_len, 0) + payload
    c = checksum(pseudo + udp) or 0xFFFF
    return ip + udp[:6] + struct.pack("!H", c) + udp[8:]


def run_udp(a):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    s.bind(("0.0.0.0", 8513))
    # "-" is an empty datagram
    replies = [b"" if h == "-" else bytes.fromhex(h) for h in a.replies.split(",") if h] if a.replies else []
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW) if a.burst else None
    ready(a.ready)
    end = time.monotonic() + a.limit
    while running(end):
        s.settimeout(wait_left(end))
        try:
            data, anc, _, src = s.recvmsg(2048, 256)
        except socket.timeout:
            continue
        dst = ""
        for level, kind, val in anc:
            if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                dst = socket.inet_ntoa(val[8:12])
        log_line(a.log, {"src": src[0], "sport": src[1], "dst": dst, "data": data.hex(), "t": time.monotonic()})
        for r in replies:
            s.sendto(r, src)
        if raw:
            while a.trigger and not os.path.exists(a.trigger) and running(end):
                time.sleep(0.005)
            sent = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW)
            base = [int(x) for x in a.net.split(".")]
            body = bytes.fromhex(a.burst_reply)
            # --flood: the burst's senders over and over for that many seconds
            total = int(a.flood * a.rate) if a.flood and a.rate else a.burst
            t0 = time.monotonic()
            for i in range(total):
                j = i % a.burst
                ip = "%d.%d.%d.%d" % (base[0], base[1], 100 + j // 250, 1 + j % 250)
                raw.sendto(raw_udp(ip, src[0], 8513, src[1], body), (src[0], 0))
                if i % 50 == 49 and stopping.is_set():
                    break
                if a.rate and i % 50 == 49:
                    wait = t0 + (i + 1) / a.rate - time.monotonic()
                    if wait > 0:
                        time.sleep(wait)
            log_line(a.log, {"burst_sent": total, "raw_ns": sent, "t": time.monotonic()})
        if a.once:
            break
    s.close()
    if raw:
        raw.close()


# The kernel's receive time of a packet (SO_TIMESTAMPNS): how far apart
# packets arrived, whenever this process got round to reading them.
SO_TIMESTAMPNS = 35
TIMESPEC = struct.Struct("@ll")


def run_sniff(a):
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0800))
    s.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    s.bind((a.iface, 0))
    ready(a.ready)
    end = time.monotonic() + a.limit
    while running(end):
        s.settimeout(wait_left(end))
        try:
            frame, anc, _, addr = s.recvmsg(65535, 64)
        except socket.timeout:
            continue
        except OSError:   # the subnet was taken down
            break
        if addr[2] == socket.PACKET_OUTGOING:
            continue
        t = None
        for level, kind, val in anc:
            if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(val) >= TIMESPEC.size:
                sec, nsec = TIMESPEC.unpack(val[:TIMESPEC.size])
                t = sec + nsec / 1e9
        ip = frame[14:]
        ihl = (ip[0] & 15) * 4
        proto = ip[9]
        # t: the kernel's clock of reception (CLOCK_REALTIME), the same for
        # every sniffer on this machine
        entry = {"src": socket.inet_ntoa(ip[12:16]), "dst": socket.inet_ntoa(ip[16:20]), "proto": proto,
                 "t": t if t is not None else time.time()}
        if proto in (6, 17):
            entry["dport"] = struct.unpack("!H", ip[ihl + 2:ihl + 4])[0]
        if proto == 17:
            entry["data"] = ip[ihl + 8:].hex()
        log_line(a.log, entry)
    s.close()


def serve_tcp(port, handler, a):
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("0.0.0.0", port))
    srv.listen(8)
    ready(a.ready)
    end = time.monotonic() + a.limit
    while running(end):
        srv.settimeout(wait_left(end))
        try:
            c, _ = srv.accept()
        except socket.timeout:
            continue
        threading.Thread(target=handler, args=(c, end), daemon=True).start()
    srv.close()


def run_bin(a):
    def handle(c, end):
        got = b""
        c.settimeout(0.2)
        while running(end) and len(got) < 24:
            if a.reply == "close":
                break
            try:
                d = c.recv(1024)
            except socket.timeout:
                continue
            if not d:
                break
            got += d
        log_line(a.log, {"port": a.port, "data": got.hex()})
        if a.reply == "close":
            c.close()
            return
        if a.reply != "silent" and len(got) >= 24:
            c.sendall(bytes.fromhex(a.reply))
        while running(end):
            time.sleep(0.05)
        c.close()
    serve_tcp(a.port, handle, a)


def run_http(a):
    ctx = None
    if a.tls:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(a.tls[0], a.tls[1])

    def handle(c, end):
        try:
            if ctx:
                c = ctx.wrap_socket(c, server_side=True)
            c.settimeout(2)
            req = b""
            while b"\r\n\r\n" not in req:
                d = c.recv(4096)
                if not d:
                    break
                req += d
            log_line(a.log, {"port": a.port, "request": req.decode("latin-1")})
            if not req:   # a probe that only connected
                c.close()
                return
            if a.status == 0:
                c.close()
                return
            if a.status < 0:   # accepts and never answers
                while running(end):
                    time.sleep(0.05)
                c.close()
                return
            body = a.body.encode("latin-1")
            head = ("HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                    % (a.status, a.reason, len(body))).encode()
            if a.pieces:
                c.sendall(head)
                for i in range(0, len(body), 3):
                    c.sendall(body[i:i + 3])
                    time.sleep(0.02)
            else:
                c.sendall(head + body)
            c.close()
        except Exception as e:  # a failed handshake is the client's business
            log_line(a.log, {"port": a.port, "error": str(e)})
    serve_tcp(a.port, handle, a)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("mode")
    p.add_argument("--log", required=True)
    p.add_argument("--ready")
    p.add_argument("--limit", type=float, default=20)
    p.add_argument("--replies", default="")
    p.add_argument("--burst", type=int, default=0)
    p.add_argument("--once", action="store_true")
    p.add_argument("--trigger")
    p.add_argument("--burst-reply", default="")
    p.add_argument("--rate", type=float, default=0)    # burst datagrams a second; 0: as fast as it goes
    p.add_argument("--flood", type=float, default=0)   # seconds of repeated bursts at --rate
    p.add_argument("--net", default="10.77")
    p.add_argument("--iface")
    p.add_argument("--port", type=int)
    p.add_argument("--reply", default="silent")
    p.add_argument("--status", type=int, default=200)
    p.add_argument("--reason", default="OK")
    p.add_argument("--body", default="")
    p.add_argument("--tls", nargs=2)
    p.add_argument("--pieces", action="store_true")
    a = p.parse_args()
    if a.ready:
        threading.Thread(target=watch_stop, args=(a.ready,), daemon=True).start()
    {"udp": run_udp, "sniff": run_sniff, "bin": run_bin, "http": run_http}[a.mode](a)
    # Every listening socket is closed: the port is free again. Connections
    # still open end with the process.
    if a.ready:
        with open(a.ready + ".ended.tmp", "w") as f:
            f.write("ended\n")
        os.replace(a.ready + ".ended.tmp", a.ready + ".ended")
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
