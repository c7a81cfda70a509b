#!/usr/bin/env python3
"""Writes the GIF files that tests/imaging/GIFWriterTest.cpp expects, byte for byte.

For a few small pictures of at most 255 colours it writes the picture (<name>.rgb, red, green,
blue, rows from the top) and the whole GIF89a file the writer must produce for it with each
encoder, interlaced and not (<name>_<variant>.gif), plus manifest.txt with one line per file:

    name variant width height use_lzw interlaced delay transparent left top background

Both encoders are written here from their description alone: the LZW coder with codes of 9 to
12 bits and a clear once code 4094 is taken, and the run-length scheme that emits only literal
codes and codes for repeats of one value. A picture of at most 255 colours keeps every colour,
in the order of a depth-first walk of the octree (the colours' bits interleaved red, green, blue
from the most significant down); colour-table entry 0 is the background.

Usage: gif_encoder_vectors.py OUTPUT_DIR
"""

import math
import os
import sys

CLEAR = 256
END = 257
FIRST_CODE = 258


class Blocks:
    """Data sub-blocks: bytes gathered and written out as a count byte and the bytes."""

    def __init__(self, limit):
        self.limit = limit
        self.pending = bytearray()
        self.out = bytearray()

    def append(self, byte):
        self.pending.append(byte & 0xFF)
        if len(self.pending) >= self.limit:
            self.end_block()

    def end_block(self):
        if self.pending:
            self.out.append(len(self.pending))
            self.out += self.pending
            self.pending = bytearray()

    def terminate(self):
        self.end_block()
        self.out.append(0)
        return bytes(self.out)


def row_order(height, interlaced):
    if not interlaced:
        return list(range(height))
    rows = []
    for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)):
        rows += list(range(start, height, step))
    return rows


def lzw(indexes, width, height, interlaced):
    blocks = Blocks(254)
    st = {"n_bits": 9, "max_code": 511, "free": FIRST_CODE, "clear_flag": False, "acc": 0,
          "count": 0}
    table = {}

    def output(code):
        st["acc"] &= (1 << st["count"]) - 1 if st["count"] > 0 else 0
        st["acc"] |= code << st["count"]
        st["count"] += st["n_bits"]
        while st["count"] >= 8:
            blocks.append(st["acc"])
            st["acc"] >>= 8
            st["count"] -= 8
        if st["free"] > st["max_code"] or st["clear_flag"]:
            if st["clear_flag"]:
                st["n_bits"], st["max_code"], st["clear_flag"] = 9, 511, False
            else:
                st["n_bits"] += 1
                st["max_code"] = 4096 if st["n_bits"] == 12 else (1 << st["n_bits"]) - 1
        if code == END:
            while st["count"] > 0:
                blocks.append(st["acc"])
                st["acc"] >>= 8
                st["count"] -= 8
            blocks.end_block()

    def clear_block():
        table.clear()
        st["free"] = FIRST_CODE
        st["clear_flag"] = True
        output(CLEAR)

    clear_block()
    pixels = [indexes[y * width + x] for y in row_order(height, interlaced) for x in range(width)]
    if pixels:
        current = pixels[0]
        for c in pixels[1:]:
            key = (current, c)
            if key in table:
                current = table[key]
                continue
            output(current)
            current = c
            if st["free"] >= 4095:
                clear_block()
            else:
                table[key] = st["free"]
                st["free"] += 1
        output(current)
    output(END)
    return bytes([8]) + blocks.terminate()


def smallest_triangle_side(count):
    """The smallest n with n (n + 1) >= 2 count."""
    n = math.isqrt(count)
    while n * (n + 1) < 2 * count:
        n += 1
    return n


def triangle_cost(count, r):
    per = r * (r + 1) // 2
    cost = 0
    while count >= per:
        cost += r
        count -= per
    if count > 0:
        cost += smallest_triangle_side(count)
    return cost


MAX_OUTPUT_CODES = 4096 - (256 + 3)


class RunLength:
    def __init__(self):
        self.blocks = Blocks(255)
        self.acc = 0
        self.count = 0
        self.run_pixel = -1
        self.run_count = 0
        self.table_pixel = -1
        self.clear_step()

    def output(self, code):
        self.acc |= code << self.count
        self.count += self.out_bits
        while self.count >= 8:
            self.blocks.append(self.acc)
            self.acc >>= 8
            self.count -= 8

    def clear_step(self):
        self.out_bits = 9
        self.bump = 255
        self.clear_threshold = 254
        self.out_count = 0
        self.table_max = 0
        self.just_cleared = True

    def clear_now(self):
        self.output(CLEAR)
        self.clear_step()

    def plain(self, code):
        self.just_cleared = False
        self.output(code)
        self.out_count += 1
        if self.out_count >= self.bump:
            self.out_bits += 1
            self.bump += 1 << (self.out_bits - 1)
        if self.out_count >= self.clear_threshold:
            self.clear_now()

    def reset_threshold(self):
        self.clear_threshold = 254
        if self.out_count >= self.clear_threshold:
            self.clear_now()

    def flush_from_clear(self, count):
        self.clear_threshold = MAX_OUTPUT_CODES
        self.table_pixel = self.run_pixel
        n = 1
        while count > 0:
            if n == 1:
                self.table_max = 1
                self.plain(self.run_pixel)
                count -= 1
            elif count >= n:
                self.table_max = n
                self.plain(FIRST_CODE + n - 2)
                count -= n
            elif count == 1:
                self.table_max += 1
                self.plain(self.run_pixel)
                count = 0
            else:
                self.table_max += 1
                self.plain(FIRST_CODE + count - 2)
                count = 0
            n = 1 if self.out_count == 0 else n + 1
        self.reset_threshold()

    def flush_by_clear_or_repeat(self, count):
        if 1 + triangle_cost(count, MAX_OUTPUT_CODES) < count:
            self.clear_now()
            self.flush_from_clear(count)
        else:
            for _ in range(count):
                self.plain(self.run_pixel)

    def flush_with_table(self, count):
        rep_max = count // self.table_max
        left_over = count % self.table_max
        rep_left = 1 if left_over > 0 else 0
        if self.out_count + rep_max + rep_left > MAX_OUTPUT_CODES:
            rep_max = MAX_OUTPUT_CODES - self.out_count
            left_over = count - rep_max * self.table_max
            rep_left = 1 + triangle_cost(left_over, MAX_OUTPUT_CODES)
        if 1 + triangle_cost(count, MAX_OUTPUT_CODES) < rep_max + rep_left:
            self.clear_now()
            self.flush_from_clear(count)
            return
        self.clear_threshold = MAX_OUTPUT_CODES
        for _ in range(rep_max):
            self.plain(FIRST_CODE + self.table_max - 2)
        if left_over > 0:
            if self.just_cleared:
                self.flush_from_clear(left_over)
            elif left_over == 1:
                self.plain(self.run_pixel)
            else:
                self.plain(FIRST_CODE + left_over - 2)
        self.reset_threshold()

    def flush_run(self):
        if self.run_count == 1:
            self.plain(self.run_pixel)
        elif self.just_cleared:
            self.flush_from_clear(self.run_count)
        elif self.table_max < 2 or self.table_pixel != self.run_pixel:
            self.flush_by_clear_or_repeat(self.run_count)
        else:
            self.flush_with_table(self.run_count)
        self.run_count = 0

    def encode(self, indexes):
        self.output(CLEAR)
        for c in indexes:
            if self.run_count > 0 and c != self.run_pixel:
                self.flush_run()
            if self.run_count > 0:
                self.run_count += 1
            else:
                self.run_pixel = c
                self.run_count = 1
        if self.run_count > 0:
            self.flush_run()
        self.output(END)
        if self.count > 0:
            self.blocks.append(self.acc)
        return bytes([8]) + self.blocks.terminate()


def octree_key(colour):
    r, g, b = colour
    return [4 * (r >> (7 - level) & 1) + 2 * (g >> (7 - level) & 1) + (b >> (7 - level) & 1)
            for level in range(8)]


def le16(value):
    return bytes([value & 0xFF, value >> 8 & 0xFF])


def gif_file(width, height, pixels, use_lzw, interlaced, delay, transparent, left, top,
             background):
    interlaced = interlaced and use_lzw
    palette = sorted(set(pixels), key=octree_key)
    assert len(palette) <= 255
    index_of = {colour: i + 1 for i, colour in enumerate(palette)}
    indexes = [index_of[p] for p in pixels]
    out = bytearray(b"GIF89a") + le16(width) + le16(height) + bytes([0xF7, 0, 0])
    table = [(background & 0xFF, background >> 8 & 0xFF, background >> 16 & 0xFF)] + palette
    table += [(0, 0, 0)] * (256 - len(table))
    for colour in table:
        out += bytes(colour)
    out += bytes([0x21, 0xF9, 4, 8 | (1 if transparent else 0)]) + le16(delay) + bytes([0, 0])
    out += bytes([0x2C]) + le16(left) + le16(top) + le16(width) + le16(height)
    out.append(0x40 if interlaced else 0)
    if use_lzw:
        out += lzw(indexes, width, height, interlaced)
    else:
        out += RunLength().encode(indexes)
    out.append(0x3B)
    return bytes(out)


def lcg(seed):
    state = seed
    while True:
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        yield state >> 8


def pictures():
    """(name, width, height, pixels, options) with options (delay, transparent, left, top,
    background as a colour value, red in the low byte)."""
    plain = (0, False, 0, 0, 0x00FF00)
    yield "one_pixel", 1, 1, [(10, 20, 30)], plain
    a, b = (250, 10, 10), (10, 10, 250)
    checker = [a if (x + y) % 2 == 0 else b for y in range(4) for x in range(5)]
    yield "checker_5x4", 5, 4, checker, (300, True, 7, 9, 0xABCDEF)
    # Rows of runs of three colours, from single pixels to runs over several rows, so that the
    # run-length scheme uses literals, series after a clear, and repeats of table codes.
    colours = [(0, 0, 0), (255, 255, 255), (200, 100, 50)]
    runs = []
    lengths = [1, 2, 3, 40, 5, 90, 1, 1, 130, 7, 7, 300, 2, 45]
    for i, n in enumerate(lengths):
        runs += [colours[i % 3]] * n
    runs += [colours[0]] * (40 * 17 - len(runs))
    yield "runs_40x17", 40, 17, runs, plain
    # 200 colours in a pseudo-random order: more than 3837 distinct pairs, so the LZW coder
    # clears its table, and mostly single-pixel runs, so the run-length scheme clears often.
    rng = lcg(5)
    noisy = [(k, 255 - k, (k * 37) & 0xFF) for k in (next(rng) % 200 for _ in range(80 * 64))]
    yield "pairs_80x64", 80, 64, noisy, plain
    yield "one_colour_100x50", 100, 50, [(1, 2, 3)] * 5000, plain


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    lines = []
    for name, width, height, pixels, options in pictures():
        with open(os.path.join(out_dir, name + ".rgb"), "wb") as f:
            f.write(bytes(channel for pixel in pixels for channel in pixel))
        delay, transparent, left, top, background = options
        for use_lzw in (False, True):
            for interlaced in (False, True):
                variant = ("lzw" if use_lzw else "rle") + ("_interlaced" if interlaced else "")
                data = gif_file(width, height, pixels, use_lzw, interlaced, *options)
                with open(os.path.join(out_dir, "%s_%s.gif" % (name, variant)), "wb") as f:
                    f.write(data)
                lines.append("%s %s %d %d %d %d %d %d %d %d %d" % (
                    name, variant, width, height, use_lzw, interlaced, delay, transparent, left,
                    top, background))
    with open(os.path.join(out_dir, "manifest.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
