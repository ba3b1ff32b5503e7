#!/usr/bin/env python3
"""Draws the two pictures of the demo module pages (logo.gif, rack.jpg) with nothing but
python3: a GIF (LZW) and a baseline JPEG writer of a few lines each. Run it from this folder
to make them again; the files it writes are committed."""
import math
import struct

# ---------------------------------------------------------------- GIF

def lzw(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, acc, nbits = bytearray(), 0, 0

    def put(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    size, nxt = min_size + 1, end + 1
    put(clear, size)
    cur = (indices[0],)
    for px in indices[1:]:
        cand = cur + (px,)
        if cand in table:
            cur = cand
            continue
        put(table[cur], size)
        if nxt < 4096:
            table[cand] = nxt
            nxt += 1
            if nxt > (1 << size) and size < 12:
                size += 1
        else:
            put(clear, size)
            table = {(i,): i for i in range(clear)}
            size, nxt = min_size + 1, end + 1
        cur = (px,)
    put(table[cur], size)
    put(end, size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def write_gif(path, w, h, palette, pixels):
    data = lzw(pixels, 4)
    with open(path, "wb") as f:
        f.write(b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF3, 0, 0))
        for r, g, b in palette:
            f.write(bytes((r, g, b)))
        f.write(b"," + struct.pack("<HHHHB", 0, 0, w, h, 0) + b"\x04")
        for i in range(0, len(data), 255):
            chunk = data[i:i + 255]
            f.write(bytes((len(chunk),)) + chunk)
        f.write(b"\x00;")


def logo():
    w, h = 96, 32
    palette = [(255, 255, 255), (0, 70, 140), (0, 110, 200), (80, 160, 230), (200, 40, 40),
               (240, 240, 240)] + [(0, 0, 0)] * 10
    px = []
    for y in range(h):
        for x in range(w):
            c = 0 if y < 2 or y > 29 else (1 if x < 32 else 5)
            wave = 16 + 9 * math.sin((x - 32) / 6.0)
            if x >= 34 and abs(y - wave) < 1.6:
                c = 2 if x < 80 else 4
            if x < 32 and (x - 16) ** 2 + (y - 16) ** 2 < 100 and (x - 16) ** 2 + (y - 16) ** 2 > 36:
                c = 3
            px.append(c)
    write_gif("pages/otx/logo.gif", w, h, palette, px)

# ---------------------------------------------------------------- JPEG

ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34,
          27, 20, 13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37,
          44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]
QL = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57, 69,
      56, 14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81,
      104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
QC = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99, 99,
      99, 47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32
DC_L = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
DC_C = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
AC_L = ([0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d], bytes.fromhex(
    "01 02 03 00 04 11 05 12 21 31 41 06 13 51 61 07 22 71 14 32 81 91 a1 08 23 42 b1 c1 15 52"
    "d1 f0 24 33 62 72 82 09 0a 16 17 18 19 1a 25 26 27 28 29 2a 34 35 36 37 38 39 3a 43 44 45"
    "46 47 48 49 4a 53 54 55 56 57 58 59 5a 63 64 65 66 67 68 69 6a 73 74 75 76 77 78 79 7a 83"
    "84 85 86 87 88 89 8a 92 93 94 95 96 97 98 99 9a a2 a3 a4 a5 a6 a7 a8 a9 aa b2 b3 b4 b5 b6"
    "b7 b8 b9 ba c2 c3 c4 c5 c6 c7 c8 c9 ca d2 d3 d4 d5 d6 d7 d8 d9 da e1 e2 e3 e4 e5 e6 e7 e8"
    "e9 ea f1 f2 f3 f4 f5 f6 f7 f8 f9 fa"))
AC_C = ([0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], bytes.fromhex(
    "00 01 02 03 11 04 05 21 31 06 12 41 51 07 61 71 13 22 32 81 08 14 42 91 a1 b1 c1 09 23 33"
    "52 f0 15 62 72 d1 0a 16 24 34 e1 25 f1 17 18 19 1a 26 27 28 29 2a 35 36 37 38 39 3a 43 44"
    "45 46 47 48 49 4a 53 54 55 56 57 58 59 5a 63 64 65 66 67 68 69 6a 73 74 75 76 77 78 79 7a"
    "82 83 84 85 86 87 88 89 8a 92 93 94 95 96 97 98 99 9a a2 a3 a4 a5 a6 a7 a8 a9 aa b2 b3 b4"
    "b5 b6 b7 b8 b9 ba c2 c3 c4 c5 c6 c7 c8 c9 ca d2 d3 d4 d5 d6 d7 d8 d9 da e2 e3 e4 e5 e6 e7"
    "e8 e9 ea f2 f3 f4 f5 f6 f7 f8 f9 fa"))
for _counts, _symbols in (DC_L, DC_C, AC_L, AC_C):
    assert sum(_counts) == len(_symbols)


def huff_codes(table):
    counts, symbols = table
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class Bits:
    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc, self.n = 0, 0

    def flush(self):
        while self.n:
            self.put(1, 1)


def magnitude(v):
    size = abs(v).bit_length()
    return size, (v if v >= 0 else v + (1 << size) - 1)


COS = [[math.cos((2 * x + 1) * u * math.pi / 16) for x in range(8)] for u in range(8)]


def encode_block(block, q, dc_codes, ac_codes, prev, bits):
    coef = [0] * 64
    for v in range(8):
        for u in range(8):
            s = sum(block[y * 8 + x] * COS[u][x] * COS[v][y] for y in range(8) for x in range(8))
            cu = math.sqrt(0.5) if u == 0 else 1
            cv = math.sqrt(0.5) if v == 0 else 1
            coef[v * 8 + u] = round(0.25 * cu * cv * s / q[v * 8 + u])
    zz = [coef[i] for i in ZIGZAG]
    size, val = magnitude(zz[0] - prev)
    bits.put(*dc_codes[size])
    bits.put(val, size)
    run = 0
    for c in zz[1:]:
        if c == 0:
            run += 1
            continue
        while run > 15:
            bits.put(*ac_codes[0xF0])
            run -= 16
        size, val = magnitude(c)
        bits.put(*ac_codes[(run << 4) | size])
        bits.put(val, size)
        run = 0
    if run:
        bits.put(*ac_codes[0x00])
    return zz[0]


def write_jpeg(path, w, h, rgb):
    planes = [[], [], []]
    for r, g, b in rgb:
        planes[0].append(0.299 * r + 0.587 * g + 0.114 * b - 128)
        planes[1].append(-0.1687 * r - 0.3313 * g + 0.5 * b)
        planes[2].append(0.5 * r - 0.4187 * g - 0.0813 * b)
    tables = [(QL, huff_codes(DC_L), huff_codes(AC_L))] + [(QC, huff_codes(DC_C), huff_codes(AC_C))] * 2
    bits, prev = Bits(), [0, 0, 0]
    for by in range(0, h, 8):
        for bx in range(0, w, 8):
            for c in range(3):
                block = [planes[c][min(by + y, h - 1) * w + min(bx + x, w - 1)]
                         for y in range(8) for x in range(8)]
                q, dc, ac = tables[c]
                prev[c] = encode_block(block, q, dc, ac, prev[c], bits)
    bits.flush()

    def segment(marker, payload):
        return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload

    out = b"\xff\xd8" + segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    out += segment(0xDB, bytes([0]) + bytes(QL[i] for i in ZIGZAG) + bytes([1]) +
                   bytes(QC[i] for i in ZIGZAG))
    out += segment(0xC0, struct.pack(">BHHB", 8, h, w, 3) + bytes([1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1]))
    for cls_id, (counts, symbols) in ((0x00, DC_L), (0x10, AC_L), (0x01, DC_C), (0x11, AC_C)):
        out += segment(0xC4, bytes([cls_id]) + bytes(counts) + bytes(symbols))
    out += segment(0xDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]))
    out += bytes(bits.out) + b"\xff\xd9"
    with open(path, "wb") as f:
        f.write(out)


def rack():
    w, h = 96, 64
    px = []
    for y in range(h):
        for x in range(w):
            c = (40, 40, 46)
            if 4 <= x < 92 and 6 <= y < 58:
                slot = (x - 4) // 11
                if (x - 4) % 11 < 10:
                    c = [(70, 110, 170), (200, 200, 205), (70, 150, 90), (190, 120, 60)][slot % 4]
                    if 10 <= y < 13 and 3 <= (x - 4) % 11 < 6:
                        c = (40, 230, 60) if slot != 5 else (230, 40, 40)
            if y in (4, 5, 58, 59):
                c = (160, 160, 165)
            px.append(c)
    write_jpeg("pages/otx/rack.jpg", w, h, px)


if __name__ == "__main__":
    logo()
    rack()
