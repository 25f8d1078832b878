#!/usr/bin/env python3
"""A simulated EnOcean radio transceiver on one TCP connection, speaking ESP2.

Serves one connection, records every byte it receives into --record, and
ends when the client closes, on its own time limit, or after the mode says.
Writes --ready once it listens and --done when it ends.

Modes:
  answer       answer a read-ID-base command with the base-ID message
  garbage      garbage bytes first, then the answer
  radio        radio telegrams of other modules first, then the answer
  pieces       the answer in pieces of 1, 5 and 8 bytes
  badsum       only an answer with a wrong checksum
  badsum-good  an answer with a wrong checksum, then a good one
  silent       read everything, answer nothing
  close        read the command, then close without an answer
  close-now    close as soon as the connection is accepted
  stream       send radio telegrams of several modules and every header
               class, with garbage between, then close
  flood        --count radio telegrams of --modules modules in turn, as
               fast as the connection takes them, then wait for the close
"""
import argparse
import os
import socket
import sys
import time

SYNC = b"\xa5\x5a"
COMMAND = bytes([0xA5, 0x5A, 0xAB, 0x58] + [0] * 9 + [0x03])


def checksum(body):
    """body: bytes 2 to 12 of a telegram."""
    return sum(body) & 0xFF


def telegram(header, org, data, ident, status=0, bad=False):
    body = bytes([header, org]) + data.to_bytes(4, "big") + ident.to_bytes(4, "big") + bytes([status])
    cs = checksum(body)
    if bad:
        cs = (cs + 1) & 0xFF
    return SYNC + body + bytes([cs])


def base_id_message(base, bad=False):
    return telegram(0x8B, 0x98, base, 0, 0, bad)


MOD_A, MOD_B, MOD_C, MOD_D = 0x0180A1B2, 0xFFFFFF01, 0x00001234, 0x8000007F


def radio_stream():
    s = b"\x5a\x0b\x07"                                 # starts in mid-telegram
    s += telegram(0x0B, 0xF6, 0x30000000, MOD_A, 0x30)  # counted: A
    for cls in range(1, 8):                             # header classes 001 to 111
        s += telegram((cls << 5) | 0x0B, 0x05 + cls, 0x10203040, [MOD_A, MOD_B, MOD_C, MOD_D][cls % 4])
    s += telegram(0x0B, 0x07, 0x0F1E2D3C, MOD_B, 0x00)  # counted: B
    s += b"\x00\x11\x22\xa5\x33"                        # garbage with a stray sync byte
    s += telegram(0x06, 0x06, 0x09000000, MOD_C)        # counted: C
    s += telegram(0x0B, 0x05, 0x50000000, MOD_A, 0x30)  # counted: A
    s += telegram(0x0B, 0x05, 0x50000000, MOD_D, 0x30, bad=True)  # dropped
    s += telegram(0x1F, 0x08, 0x01020304, MOD_D)        # counted: D
    s += telegram(0x00, 0x05, 0x70000000, MOD_B)        # counted: B
    s += telegram(0x0B, 0xF6, 0x00000000, MOD_A, 0x20)  # counted: A
    return s


FLOOD_BASE = 0x01000000


def flood(count, modules):
    """count telegrams, module FLOOD_BASE + i % modules for the i-th."""
    cycle = b"".join(telegram(0x0B, 0xF6, 0x30000000, FLOOD_BASE + i, 0x30) for i in range(min(count, modules)))
    whole, part = divmod(count, modules)
    return cycle * whole + cycle[:14 * part]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--mode", default="answer")
    ap.add_argument("--base", default="FF801200")
    ap.add_argument("--ready", required=True)
    ap.add_argument("--record", required=True)
    ap.add_argument("--done", required=True)
    ap.add_argument("--limit", type=float, default=15.0)
    ap.add_argument("--count", type=int, default=10000)
    ap.add_argument("--modules", type=int, default=500)
    a = ap.parse_args()
    base = int(a.base, 16)
    deadline = time.monotonic() + a.limit

    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", a.port))
    srv.listen(1)
    srv.settimeout(a.limit)
    open(a.record, "wb").close()
    with open(a.ready, "w") as f:
        f.write("ready\n")
    try:
        conn, _ = srv.accept()
    except socket.timeout:
        open(a.done, "w").write("no client\n")
        return 0
    srv.close()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    received = bytearray()

    def record(data):
        received.extend(data)
        with open(a.record, "ab") as f:
            f.write(data)

    def read_some():
        left = deadline - time.monotonic()
        if left <= 0:
            return b""
        conn.settimeout(left)
        try:
            return conn.recv(4096)
        except (socket.timeout, OSError):
            return b""

    def wait_command():
        while COMMAND not in received:
            data = read_some()
            if not data:
                return False
            record(data)
        return True

    answer = base_id_message(base)
    try:
        if a.mode == "close-now":
            pass
        elif a.mode == "stream":
            data = radio_stream()
            for i in range(0, len(data), 9):   # in pieces, unrelated to telegram bounds
                conn.sendall(data[i:i + 9])
        elif a.mode == "flood":
            data = flood(a.count, a.modules)
            for i in range(0, len(data), 65536):
                conn.sendall(data[i:i + 65536])
        elif wait_command():
            if a.mode == "answer":
                conn.sendall(answer)
            elif a.mode == "garbage":
                conn.sendall(b"\x5a\x0b\x07\x00\x42\xa5\x13\x37" + b"\x99" * 20)
                time.sleep(0.05)
                conn.sendall(answer)
            elif a.mode == "radio":
                conn.sendall(telegram(0x0B, 0xF6, 0x30000000, MOD_A) + telegram(0x00, 0x07, 0x01, MOD_B))
                time.sleep(0.05)
                conn.sendall(telegram(0x0B, 0x98, base ^ 0xFFFF, MOD_C) + answer)
            elif a.mode == "pieces":
                for piece in (answer[:1], answer[1:6], answer[6:]):
                    conn.sendall(piece)
                    time.sleep(0.1)
            elif a.mode == "badsum":
                conn.sendall(base_id_message(base, bad=True))
            elif a.mode == "badsum-good":
                conn.sendall(base_id_message(base ^ 0x00FF00FF, bad=True))
                time.sleep(0.05)
                conn.sendall(answer)
            elif a.mode == "close":
                pass
        if a.mode not in ("close", "close-now", "stream"):
            # Until the client closes: record what else it sends.
            while True:
                data = read_some()
                if not data:
                    break
                record(data)
    finally:
        conn.close()
        with open(a.done, "w") as f:
            f.write("done\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
