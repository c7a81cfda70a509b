#!/usr/bin/python3
"""Makes the BMP fixtures of the imaging tests and decodes each with independent readers.

Usage: /usr/bin/python3 make_bmp_fixtures.py OUTDIR

For every fixture NAME it writes OUTDIR/NAME.bmp and OUTDIR/NAME.rgb (the oracle's pixels, rows
top-down, red-green-blue), and a line "NAME WIDTH HEIGHT ORACLE" in OUTDIR/manifest.txt.
Crafted files are built byte by byte here from the layouts in Microsoft's BMP documentation;
others are written by ImageMagick and Pillow. The oracle is ImageMagick 6 (/usr/bin/convert),
Pillow, or both, in which case their pixels must agree or the script fails:
- Pillow widens 5- and 6-bit channels by v * 255 // max (truncating), mishandles RLE deltas and
  odd RLE4 absolute runs, and reads few bit-field layouts, so 16-bit and RLE files use ImageMagick.
- ImageMagick misreads the 64-byte OS/2 2.x header, which therefore uses Pillow.
- ImageMagick wants RLE data at least as long as the uncompressed image; such data is padded
  with zeros after the end-of-bitmap code, which every reader ignores.
"""
import random
import struct
import subprocess
import sys
from pathlib import Path

from PIL import Image

CONVERT = "/usr/bin/convert"
BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS = 0, 1, 2, 3


def file_header(offset, size):
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset)


def info_header(width, height, bits, compression, image_size, colours_used=0, size=40,
                masks=None):
    header = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, image_size,
                         2835, 2835, colours_used, 0)
    if size > 40:
        m = list(masks or [0, 0, 0]) + [0]
        header += struct.pack("<IIII", *m[:4])
    return header.ljust(size, b"\0")


def core_header(width, height, bits):
    return struct.pack("<IHHHH", 12, width, height, 1, bits)


def assemble(header, palette=b"", pixels=b"", extra=b"", gap=b""):
    offset = 14 + len(header) + len(extra) + len(palette) + len(gap)
    return file_header(offset, offset + len(pixels)) + header + extra + palette + gap + pixels


def palette_bytes(rng, count, entry=4):
    return b"".join(bytes([rng.randrange(256) for _ in range(3)]) + b"\0" * (entry - 3)
                    for _ in range(count))


def pack_rows(rows, bits, top_down=False):
    """rows: lists of integer samples (indices or packed pixels), top row first."""
    out = []
    for row in rows if top_down else reversed(rows):
        if bits < 8:
            data = bytearray()
            acc, n = 0, 0
            for v in row:
                acc = acc << bits | v
                n += bits
                if n == 8:
                    data.append(acc)
                    acc, n = 0, 0
            if n:
                data.append(acc << (8 - n))
        elif bits == 8:
            data = bytes(row)
        elif bits == 16:
            data = b"".join(struct.pack("<H", v) for v in row)
        elif bits == 24:
            data = b"".join(struct.pack("<I", v)[:3] for v in row)
        else:
            data = b"".join(struct.pack("<I", v) for v in row)
        stride = (len(row) * bits + 31) // 32 * 4
        out.append(bytes(data).ljust(stride, b"\0"))
    return b"".join(out)


def indexed(rng, bits, width, height, colours=None, top_down=False, core=False, gap=b"",
            header_size=40):
    count = colours or (1 << bits)
    rows = [[rng.randrange(count) for _ in range(width)] for _ in range(height)]
    pixels = pack_rows(rows, bits, top_down)
    if core:
        return assemble(core_header(width, height, bits), palette_bytes(rng, count, 3), pixels)
    header = info_header(width, -height if top_down else height, bits, BI_RGB, len(pixels),
                         colours or 0, size=header_size)
    return assemble(header, palette_bytes(rng, count), pixels, gap=gap)


def direct(rng, bits, width, height, compression=BI_RGB, masks=None, header_size=40,
           top_down=False, core=False):
    limit = 1 << bits if bits < 32 else 1 << 32
    rows = [[rng.randrange(limit) for _ in range(width)] for _ in range(height)]
    pixels = pack_rows(rows, bits, top_down)
    if core:
        return assemble(core_header(width, height, bits), pixels=pixels)
    extra = b""
    if compression == BI_BITFIELDS and header_size == 40:
        extra = struct.pack("<III", *masks)
    header = info_header(width, -height if top_down else height, bits, compression, len(pixels),
                         size=header_size, masks=masks)
    return assemble(header, pixels=pixels, extra=extra)


def pad_rle(codes, width, height, bits):
    """ImageMagick reads as many bytes as the uncompressed image would take."""
    return codes.ljust((width * bits + 31) // 32 * 4 * height, b"\0")


def rle8(rng):
    """12 x 6, bottom row first: runs, odd and even absolute runs, end of line, deltas."""
    width, height = 12, 6
    codes = bytes([
        4, 1, 0, 3, 2, 3, 4, 0, 5, 6, 0, 0,          # row 0: run, absolute 3 (padded), run
        0, 4, 9, 8, 7, 6, 8, 2, 0, 0,                 # row 1: absolute 4, run to the edge
        0, 2, 3, 1,                                   # delta: 3 right, 1 up (row 2 skipped)
        2, 11, 0, 2, 4, 0, 3, 12, 0, 0,               # row 3 from x = 3, delta 4 right, run
        12, 13, 0, 0,                                 # row 4: a whole-row run
        0, 5, 1, 2, 3, 4, 5, 0,                       # row 5: absolute 5 (padded)
        0, 1,                                         # end of bitmap
    ])
    header = info_header(width, height, 8, BI_RLE8, len(codes), 16)
    return assemble(header, palette_bytes(rng, 16), pad_rle(codes, width, height, 8))


def rle4(rng):
    """10 x 6: alternating-nibble runs, odd and even absolute runs, end of line, deltas."""
    width, height = 10, 6
    codes = bytes([
        5, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0,     # row 0: run of 1,2,1,2,1; absolute 5
        0, 2, 2, 1,                                   # delta: 2 right, 1 up (row 1 skipped)
        3, 0xAB, 0, 4, 0xCD, 0xEF, 0, 0,              # row 2 from x = 2: run, absolute 4
        0, 0,                                         # row 3 empty
        10, 0x9F, 0, 0,                               # row 4: a whole-row run
        0, 3, 0x12, 0x30, 7, 0x44, 0, 1,              # row 5: absolute 3, run 7, end
    ])
    header = info_header(width, height, 4, BI_RLE4, len(codes), 16)
    return assemble(header, palette_bytes(rng, 16), pad_rle(codes, width, height, 4))


def crafted():
    rng = random.Random(20240611)
    m565 = [0xF800, 0x07E0, 0x001F]
    return {
        "pal1_info_w13": (indexed(rng, 1, 13, 5), "both"),
        "pal1_core": (indexed(rng, 1, 9, 4, core=True), "both"),
        "pal4_info_w7": (indexed(rng, 4, 7, 5), "both"),
        "pal4_short_palette": (indexed(rng, 4, 6, 3, colours=5), "both"),
        "pal8_info_w5": (indexed(rng, 8, 5, 4), "both"),
        "pal8_short_palette": (indexed(rng, 8, 7, 3, colours=3), "both"),
        "pal8_top_down": (indexed(rng, 8, 6, 5, top_down=True), "both"),
        "pal8_core": (indexed(rng, 8, 5, 3, core=True), "both"),
        "pal8_os2_v2_header": (indexed(rng, 8, 6, 3, header_size=64), "pil"),
        "pal8_gap_before_pixels": (indexed(rng, 8, 4, 4, gap=b"\xAA" * 10), "both"),
        "rgb24_w5": (direct(rng, 24, 5, 4), "both"),
        "rgb24_top_down": (direct(rng, 24, 3, 4, top_down=True), "both"),
        "rgb24_core": (direct(rng, 24, 5, 3, core=True), "both"),
        "rgb16_555": (direct(rng, 16, 7, 4), "im"),
        "rgb16_555_top_down": (direct(rng, 16, 5, 3, top_down=True), "im"),
        "rgb16_565_bitfields": (direct(rng, 16, 7, 4, BI_BITFIELDS, m565), "im"),
        "rgb16_565_v4_header": (direct(rng, 16, 6, 3, BI_BITFIELDS, m565, 108), "im"),
        "rgb32_bgrx": (direct(rng, 32, 5, 4), "both"),
        "rgb32_bitfields_rgbx_v5_header":
            (direct(rng, 32, 4, 3, BI_BITFIELDS, [0xFF, 0xFF00, 0xFF0000], 124), "im"),
        "rgb32_bitfields_xrgb":
            (direct(rng, 32, 5, 2, BI_BITFIELDS, [0xFF000000, 0xFF0000, 0xFF00]), "im"),
        "rle8_deltas": (rle8(rng), "im"),
        "rle4_deltas": (rle4(rng), "im"),
    }


def written(out):
    """Files written by ImageMagick and Pillow."""
    photo = ["-size", "61x37", "-seed", "7", "plasma:fractal"]
    commands = {
        "im_bmp3_24": photo + ["-type", "TrueColor", "bmp3:{}"],
        "im_bmp_v5_24": photo + ["-type", "TrueColor", "bmp:{}"],
        "im_bmp2_core_8": photo + ["-colors", "200", "-type", "Palette", "bmp2:{}"],
        "im_bmp3_rle8": photo + ["-colors", "60", "-type", "Palette", "-compress", "RLE",
                                 "bmp3:{}"],
        "im_bmp3_4bit": photo + ["-colors", "12", "-type", "Palette", "bmp3:{}"],
        "im_bmp3_1bit": photo + ["-colors", "2", "-type", "Palette", "bmp3:{}"],
        "im_rgb565": photo + ["-define", "bmp:subtype=RGB565", "bmp:{}"],
        "im_argb1555": photo + ["-alpha", "set", "-define", "bmp:subtype=ARGB1555", "bmp:{}"],
    }
    oracles = {}
    for name, args in commands.items():
        path = out / f"{name}.bmp"
        subprocess.run([CONVERT] + [a.format(path) for a in args], check=True)
        oracles[name] = "im" if "565" in name or "1555" in name else "both"
    base = Image.effect_mandelbrot((45, 29), (-2, -1.2, 1, 1.2), 60).convert("RGB")
    base.save(out / "pil_24.bmp")
    base.convert("P", palette=Image.ADAPTIVE, colors=180).save(out / "pil_8.bmp")
    base.convert("1").save(out / "pil_1.bmp")
    for name in ("pil_24", "pil_8", "pil_1"):
        oracles[name] = "both"
    return oracles


def decode_im(path):
    result = subprocess.run([CONVERT, str(path), "-depth", "8", "rgb:-"], check=True,
                            capture_output=True)
    size = subprocess.run([CONVERT, str(path), "-format", "%w %h", "info:"], check=True,
                          capture_output=True, text=True).stdout.split()
    return result.stdout, (int(size[0]), int(size[1]))


def decode_pil(path):
    with Image.open(path) as image:
        return image.convert("RGB").tobytes(), image.size


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    oracles = {}
    for name, (data, oracle) in crafted().items():
        (out / f"{name}.bmp").write_bytes(data)
        oracles[name] = oracle
    oracles.update(written(out))
    lines = []
    for name, oracle in oracles.items():
        path = out / f"{name}.bmp"
        if oracle in ("pil", "both"):
            pixels, size = decode_pil(path)
        if oracle in ("im", "both"):
            im_pixels, im_size = decode_im(path)
            if oracle == "both" and (im_pixels, im_size) != (pixels, size):
                sys.exit(f"{name}: ImageMagick and Pillow disagree")
            pixels, size = im_pixels, im_size
        if len(pixels) != size[0] * size[1] * 3:
            sys.exit(f"{name}: oracle gave {len(pixels)} bytes for {size}")
        (out / f"{name}.rgb").write_bytes(pixels)
        lines.append(f"{name} {size[0]} {size[1]} {oracle}\n")
    (out / "manifest.txt").write_text("".join(lines))


if __name__ == "__main__":
    main()
