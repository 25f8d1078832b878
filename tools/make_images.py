#!/usr/bin/env python3
"""Draws Varnel's toolbar strip, the service menu bitmap, the device dialogs'
icon strip and the program icon.
The outputs are committed under resources/; run this again after a change:
    python3 tools/make_images.py
"""
import os
import struct

MAGENTA = (255, 0, 255)
K = (0, 0, 0)
W = (255, 255, 255)
G = (128, 128, 128)
LG = (192, 192, 192)
B = (0, 64, 160)
LB = (96, 160, 224)
Y = (240, 200, 40)
R = (200, 32, 32)
GR = (32, 150, 48)
BR = (150, 100, 40)


def canvas(w, h, bg=MAGENTA):
    return [[bg] * w for _ in range(h)]


def rect(c, x0, y0, x1, y1, fill=None, edge=None):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            border = y in (y0, y1) or x in (x0, x1)
            if border and edge is not None:
                c[y][x] = edge
            elif fill is not None:
                c[y][x] = fill


def line(c, x0, y0, x1, y1, col):
    n = max(abs(x1 - x0), abs(y1 - y0), 1)
    for i in range(n + 1):
        c[round(y0 + (y1 - y0) * i / n)][round(x0 + (x1 - x0) * i / n)] = col


def dots(c, pts, col):
    for x, y in pts:
        c[y][x] = col


def page(c):
    rect(c, 3, 1, 12, 14, W, K)
    line(c, 9, 1, 12, 4, K)


def star(c, x, y):
    dots(c, [(x, y - 2), (x, y - 1), (x, y), (x, y + 1), (x, y + 2), (x - 2, y), (x - 1, y), (x + 1, y), (x + 2, y),
             (x - 1, y - 1), (x + 1, y + 1), (x + 1, y - 1), (x - 1, y + 1)], Y)


def disk(c, col=B):
    rect(c, 1, 1, 14, 14, col, K)
    rect(c, 4, 1, 11, 6, W, K)
    rect(c, 4, 9, 11, 14, LG, K)
    rect(c, 9, 2, 10, 5, K)


def box(c, col):
    rect(c, 1, 4, 14, 12, col, K)
    for x in (3, 5, 7, 9):
        c[10][x] = Y
    c[6][12] = GR


def glyphs():
    out = []

    def new(fn):
        c = canvas(16, 16)
        fn(c)
        out.append(c)

    new(lambda c: (page(c), star(c, 12, 4)))                       # 57600 new
    def open_(c):
        rect(c, 1, 4, 11, 13, Y, K); rect(c, 1, 3, 5, 4, Y, K)
        line(c, 3, 13, 6, 7, K); line(c, 6, 7, 15, 7, K); line(c, 15, 7, 12, 13, K)
    new(open_)                                                     # 57601 open
    new(lambda c: disk(c))                                         # 57603 save
    new(lambda c: (disk(c, GR), star(c, 12, 12)))                  # 32816 save active
    new(lambda c: (box(c, LB), dots(c, [(12, 1), (12, 2), (12, 3)], K)))           # 32774 I/O device
    def serial(c):
        box(c, LG); rect(c, 5, 13, 10, 15, G, K)
    new(serial)                                                    # 32773 serial
    def rfid(c):
        rect(c, 2, 3, 13, 12, W, K); rect(c, 4, 5, 7, 8, Y, K); line(c, 9, 6, 12, 6, G); line(c, 9, 9, 12, 9, G)
    new(rfid)                                                      # 32819 RFID
    def trcv(c):
        box(c, LB); line(c, 3, 4, 3, 0, K); dots(c, [(1, 1), (5, 1), (0, 0), (6, 0)], R)
    new(trcv)                                                      # 32792 transceiver
    def module(c):
        rect(c, 3, 5, 12, 13, W, K); line(c, 6, 5, 6, 1, K); dots(c, [(4, 2), (8, 2)], R); c[11][10] = GR
    new(module)                                                    # 32791 module
    def selall(c):
        for y in (3, 7, 11):
            rect(c, 1, y, 14, y + 2, LB, B)
    new(selall)                                                    # 57642 select all
    def toggle(c):
        rect(c, 1, 5, 14, 10, LG, K); rect(c, 8, 6, 13, 9, GR, K)
    new(toggle)                                                    # 32777 enable/disable
    def clock(c):
        for y in range(16):
            for x in range(16):
                d = (x - 7.5) ** 2 + (y - 7.5) ** 2
                if d <= 49:
                    c[y][x] = K if d > 36 else W
        line(c, 8, 8, 8, 3, K); line(c, 8, 8, 11, 8, R)
    new(clock)                                                     # 32823 timing
    def props(c):
        rect(c, 1, 1, 14, 14, LG, K); rect(c, 1, 1, 14, 3, B, K)
        for y in (6, 9, 12):
            line(c, 3, y, 5, y, K); rect(c, 7, y - 1, 12, y + 1, W, G)
    new(props)                                                     # 32775 properties
    def items(c):
        for i, y in enumerate((2, 6, 10)):
            rect(c, 1 + 3 * (i % 2), y, 4 + 3 * (i % 2), y + 3, Y, K); line(c, 7, y + 1, 14, y + 1, K)
        line(c, 7, 14, 12, 14, K)
    new(items)                                                     # 32806 item names
    def service(c):
        for y in range(16):
            for x in range(16):
                d = (x - 7.5) ** 2 + (y - 7.5) ** 2
                if 9 <= d <= 42:
                    c[y][x] = G
        for x, y in ((7, 0), (8, 0), (7, 15), (8, 15), (0, 7), (0, 8), (15, 7), (15, 8)):
            c[y][x] = G
        rect(c, 6, 6, 9, 9, GR)
    new(service)                                                   # 32778 service tool
    def helpq(c):
        rect(c, 1, 1, 14, 14, B, K)
        for x, y in ((6, 3), (7, 3), (8, 3), (9, 3), (5, 4), (10, 4), (10, 5), (9, 6), (8, 7), (7, 8), (7, 9),
                     (7, 12), (6, 4), (9, 4)):
            c[y][x] = W
    new(helpq)                                                     # 32780 help
    def about(c):
        rect(c, 1, 1, 14, 14, LB, K)
        rect(c, 7, 3, 8, 4, W)
        rect(c, 7, 6, 8, 12, W)
    new(about)                                                     # 57664 about
    return out


def bmp24(c):
    h, w = len(c), len(c[0])
    stride = (w * 3 + 3) & ~3
    data = b""
    for row in reversed(c):
        raw = b"".join(bytes((b, g, r)) for (r, g, b) in row)
        data += raw + b"\0" * (stride - len(raw))
    head = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + head + data


def bgra(c, y_flip=True):
    rows = reversed(c) if y_flip else c
    return b"".join(bytes((0, 0, 0, 0)) if p == MAGENTA else bytes((p[2], p[1], p[0], 255)) for row in rows for p in row)


def bmp32(c):
    h, w = len(c), len(c[0])
    data = bgra(c)
    head = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + head + data


def icon_image(c):
    h, w = len(c), len(c[0])
    xor = bgra(c)
    mask_stride = ((w + 31) // 32) * 4
    mask = b""
    for row in reversed(c):
        bits = 0
        out = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p == MAGENTA:
                out[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(out)
    head = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return head + xor + mask


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for c in images:
        blob = icon_image(c)
        w = len(c[0])
        out += struct.pack("<BBBBHHII", w % 256, len(c) % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


def program_icon(size):
    c = canvas(size, size)
    s = size / 32.0
    def R_(x0, y0, x1, y1, fill, edge):
        rect(c, int(x0 * s), int(y0 * s), int(x1 * s), int(y1 * s), fill, edge)
    R_(2, 6, 29, 25, LB, K)
    R_(5, 9, 26, 14, W, B)
    R_(5, 17, 26, 22, W, B)
    for x in (8, 13, 18, 23):
        rect(c, int(x * s), int(19 * s), int(x * s) + max(1, int(s)), int(20 * s), GR)
        rect(c, int(x * s), int(11 * s), int(x * s) + max(1, int(s)), int(12 * s), Y)
    return c


def about_picture():
    c = canvas(80, 51, W)
    rect(c, 0, 0, 79, 50, None, G)
    for i, col in enumerate((B, LB, GR)):
        rect(c, 8 + 22 * i, 10, 25 + 22 * i, 40, col, K)
        for y in (16, 24, 32):
            line(c, 11 + 22 * i, y, 22 + 22 * i, y, W)
    line(c, 26, 25, 30, 25, K)
    line(c, 48, 25, 52, 25, K)
    return c


# The 16 colours of the device dialogs' icon strip (magenta is transparent).
PALETTE16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
             (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
             (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def bmp4(c):
    def nearest(p):
        return min(range(16), key=lambda i: sum((a - b) ** 2 for a, b in zip(p, PALETTE16[i])))
    h, w = len(c), len(c[0])
    stride = ((w * 4 + 31) // 32) * 4
    data = b""
    for row in reversed(c):
        idx = [nearest(p) for p in row]
        raw = bytes((idx[x] << 4) | (idx[x + 1] if x + 1 < w else 0) for x in range(0, w, 2))
        data += raw + b"\0" * (stride - len(raw))
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE16)
    head = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 16)
    off = 14 + 40 + len(pal)
    return b"BM" + struct.pack("<IHHI", off + len(data), 0, 0, off) + head + pal + data


def dialog_icons(g):
    """Eight images: global options, I/O device, serial device server,
    transceiver, RFID reader, radio module, item names, and one unused."""
    def globe(c):
        for y in range(16):
            for x in range(16):
                d = (x - 7.5) ** 2 + (y - 7.5) ** 2
                if d <= 42:
                    c[y][x] = K if d > 30 else LB
        line(c, 1, 8, 14, 8, W); line(c, 8, 1, 8, 14, W)
    gl = canvas(16, 16)
    globe(gl)
    return [gl, g[4], g[5], g[7], g[6], g[8], g[13], canvas(16, 16)]


def main():
    top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    g = glyphs()
    strip = canvas(16 * len(g), 16)
    for i, c in enumerate(g):
        for y in range(16):
            strip[y][16 * i:16 * i + 16] = c[y]
    with open(os.path.join(top, "toolbar.bmp"), "wb") as f:
        f.write(bmp24(strip))
    icons = dialog_icons(g)
    dstrip = canvas(16 * len(icons), 16)
    for i, c in enumerate(icons):
        for y in range(16):
            dstrip[y][16 * i:16 * i + 16] = c[y]
    with open(os.path.join(top, "device_dlg_icons.bmp"), "wb") as f:
        f.write(bmp4(dstrip))
    with open(os.path.join(top, "service.bmp"), "wb") as f:
        f.write(bmp32(g[14]))
    with open(os.path.join(top, "about.bmp"), "wb") as f:
        f.write(bmp24(about_picture()))
    with open(os.path.join(top, "varnel.ico"), "wb") as f:
        f.write(ico([program_icon(32), program_icon(16)]))


if __name__ == "__main__":
    main()
