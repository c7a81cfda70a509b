#!/usr/bin/python3
"""Makes the TIFF fixtures of the imaging tests and decodes each with libtiff.

Usage: /usr/bin/python3 make_tiff_fixtures.py OUTDIR

For every fixture NAME it writes OUTDIR/NAME.tif and OUTDIR/NAME.rgb (the expected pixels of the
first page, rows top-down, red-green-blue), and a line
"NAME WIDTH HEIGHT PAGES XDPI YDPI" in OUTDIR/manifest.txt (XDPI YDPI are "-" when the file's
resolution unit gives none).

Files are written by libtiff's tools (tiffcp, tiffcrop), ImageMagick 6 (/usr/bin/convert) and
Pillow from small generated source pictures; a few layouts no tool writes (WhiteIsZero greyscale
with a one-strip-per-row array held in the entry, resolution in centimetres) are packed here by
hand. The oracle is libtiff itself, through Pillow and through tiff2rgba; where both read a file
their pixels must agree or the script fails. Two deliberate differences are applied to the
oracle's pixels:
- 4-bit greyscale: libtiff spreads levels 0..15 over 0..255 (x 17), the reader under test to
  0..240 (x 16, so 15 is 240).
- Tiled pages: the reader under test leaves them blank (black), at the page's size.
Resolution comes from the file's own fields (read by Pillow): unit 1 or 2 gives the values
truncated, unit 3 the values x 2.54 truncated.
"""
import os
import random
import struct
import subprocess
import sys
from pathlib import Path

from PIL import Image

CONVERT = "/usr/bin/convert"


def run(*args):
    subprocess.run([str(a) for a in args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def photo(width, height, seed):
    """A smooth picture with some noise: gradients for the predictor, noise for LZW's table."""
    rng = random.Random(seed)
    im = Image.new("RGB", (width, height))
    px = im.load()
    for y in range(height):
        for x in range(width):
            px[x, y] = ((x * 255 // max(1, width - 1) + rng.randrange(24)) % 256,
                        (y * 255 // max(1, height - 1) + rng.randrange(24)) % 256,
                        ((x + y) * 3 + rng.randrange(64)) % 256)
    return im


def text_page(width, height, seed):
    """A bilevel page of black blocks and strokes of many lengths on white, runs from 0 to past
    2560 pixels included, so that every code table is used."""
    rng = random.Random(seed)
    im = Image.new("1", (width, height), 1)
    px = im.load()
    for y in range(height):
        x = 0
        black = False
        while x < width:
            run = rng.choice([rng.randrange(1, 8), rng.randrange(8, 70), rng.randrange(60, 300),
                              rng.randrange(1700, 2700)]) if not black else rng.choice(
                [rng.randrange(1, 8), rng.randrange(8, 70), rng.randrange(60, 2700)])
            if y % 5 == 2:  # rows equal to the one before, for the vertical modes
                break
            for i in range(x, min(width, x + run)):
                px[i, y] = 0 if black else 1
            x += run
            black = not black
        if y % 5 == 2 and y > 0:
            for i in range(width):
                px[i, y] = px[i, y - 1]
    return im


def rational(value):
    return struct.pack("<II", value, 1)


def pack_tiff(width, height, photometric, bits, rows, rows_per_strip, samples=1, extra=()):
    """A little-endian, uncompressed TIFF. rows: bytes of each row. Strip offsets and counts are
    SHORT arrays, held in the entry when two fit there."""
    strips = [b"".join(rows[i:i + rows_per_strip]) for i in range(0, height, rows_per_strip)]
    data = b"".join(strips)
    entries = []
    blobs = bytearray()
    offset_of_blobs = 8 + len(data)
    offsets, counts = [], []
    position = 8
    for s in strips:
        offsets.append(position)
        counts.append(len(s))
        position += len(s)

    def add(tag, type_, values):
        fmt = {3: "H", 4: "I", 5: "II"}[type_]
        size = {3: 2, 4: 4, 5: 8}[type_]
        packed = b"".join(struct.pack("<" + fmt, *(v if isinstance(v, tuple) else (v,)))
                          for v in values)
        if len(packed) <= 4:
            entries.append((tag, type_, len(values), packed.ljust(4, b"\0")))
        else:
            at = offset_of_blobs + len(blobs)
            blobs.extend(packed)
            if len(blobs) % 2:
                blobs.append(0)
            entries.append((tag, type_, len(values), struct.pack("<I", at)))

    add(256, 3, [width])
    add(257, 3, [height])
    add(258, 3, [bits] * samples)
    add(259, 3, [1])
    add(262, 3, [photometric])
    add(273, 3 if max(offsets) < 65536 else 4, offsets)
    add(277, 3, [samples])
    add(278, 3, [rows_per_strip])
    add(279, 3, counts)
    for tag, type_, values in extra:
        add(tag, type_, values)
    entries.sort()
    ifd_offset = offset_of_blobs + len(blobs)
    ifd = struct.pack("<H", len(entries))
    for tag, type_, count, field in entries:
        ifd += struct.pack("<HHI", tag, type_, count) + field
    ifd += struct.pack("<I", 0)
    return b"II" + struct.pack("<HI", 42, ifd_offset) + data + bytes(blobs) + ifd


def oracle(path):
    """libtiff's pixels of the first page through Pillow and through tiff2rgba; both, where both
    read the file, must agree."""
    results = []
    try:
        with Image.open(path) as im:
            results.append(("Pillow", im.size, im.convert("RGB").tobytes()))
    except Exception:
        pass
    rgba = str(path) + ".rgba.tif"
    try:
        run("tiff2rgba", "-c", "none", path, rgba)
        with Image.open(rgba) as im:
            results.append(("tiff2rgba", im.size, im.convert("RGB").tobytes()))
    except Exception:
        pass
    finally:
        if os.path.exists(rgba):
            os.remove(rgba)
    if not results:
        sys.exit(f"no oracle reads {path}")
    for name, size, pixels in results[1:]:
        if (size, pixels) != results[0][1:]:
            sys.exit(f"{path}: {name} and {results[0][0]} disagree")
    return results[0][1], results[0][2]


def file_facts(path):
    with Image.open(path) as im:
        pages = getattr(im, "n_frames", 1)
        tags = im.tag_v2
        unit = tags.get(296, 2)
        photometric = tags.get(262, 2)
        bits = tags.get(258, (1,))
        tiled = 322 in tags

        def res(tag):
            value = tags.get(tag, 0)
            return float(value) if value else 0.0

        x, y = res(282), res(283)
    if unit in (1, 2):
        resolution = (int(x), int(y))
    elif unit == 3:
        resolution = (int(x * 2.54), int(y * 2.54))
    else:
        resolution = None
    return pages, resolution, photometric, bits[0] if isinstance(bits, tuple) else bits, tiled


def to_reader_grey4(pixels, photometric):
    out = bytearray(pixels)
    for i, v in enumerate(pixels):
        level = v // 17
        out[i] = 255 - 16 * (15 - level) if photometric == 0 else 16 * level
    return bytes(out)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    work = out / "work"
    work.mkdir(exist_ok=True)
    made = []  # names

    # Sources: an RGB photo of odd width, a text-like bilevel page, ImageMagick's greyscale and
    # palette versions of the photo.
    rgb = work / "rgb.tif"
    photo(61, 37, 1).save(rgb)  # uncompressed, Pillow
    bilevel = work / "bilevel.tif"
    text_page(203, 45, 2).save(bilevel)
    wide = work / "wide.tif"
    text_page(2700, 12, 3).save(wide)

    def tiffcp(name, source, *options):
        run("tiffcp", *options, source, out / f"{name}.tif")
        made.append(name)

    def convert(name, source, *options):
        run(CONVERT, source, *options, out / f"{name}.tif")
        made.append(name)

    # RGB through every compression, both byte orders, strips, planes, tiles.
    for compression in ["none", "lzw", "lzw:2", "packbits"]:
        tag = compression.replace(":", "_")
        tiffcp(f"rgb_{tag}_le", rgb, "-L", "-c", compression)
        tiffcp(f"rgb_{tag}_be", rgb, "-B", "-c", compression, "-r", "5")
    tiffcp("rgb_separate_none", rgb, "-p", "separate", "-c", "none", "-r", "8")
    tiffcp("rgb_separate_lzw2_be", rgb, "-p", "separate", "-c", "lzw:2", "-B")
    tiffcp("rgb_tiled", rgb, "-t", "-w", "16", "-l", "16", "-c", "lzw")
    # Multi-page: three pages, the first one the photo.
    run("tiffcp", rgb, bilevel, rgb, out / "pages3.tif")
    made.append("pages3")
    run("tiffcrop", "-c", "lzw", rgb, out / "rgb_tiffcrop.tif")
    made.append("rgb_tiffcrop")

    # Bilevel: every CCITT coding, both fill orders, and the plain codings.
    for page, source in [("text", bilevel), ("wide", wide)]:
        for compression in ["g3", "g3:2d", "g3:2d:fill", "g4"]:
            tag = compression.replace(":", "_")
            tiffcp(f"{page}_{tag}", source, "-c", compression)
            tiffcp(f"{page}_{tag}_lsb", source, "-c", compression, "-f", "lsb2msb", "-r", "7")
        for compression in ["none", "lzw", "packbits"]:
            tiffcp(f"{page}_{compression}", source, "-c", compression, "-B")
        with Image.open(source) as im:
            im.save(out / f"{page}_mh.tif", compression="tiff_ccitt")
        made.append(f"{page}_mh")
    tiffcp("text_g4_be", bilevel, "-c", "g4", "-B")

    # ImageMagick: WhiteIsZero and BlackIsZero bilevel, greyscale and palette pages.
    for polarity in ["min-is-white", "min-is-black"]:
        tag = polarity.replace("-", "_")
        convert(f"im_bilevel_{tag}", rgb, "-threshold", "50%", "-depth", "1", "-type", "bilevel",
                "-define", f"quantum:polarity={polarity}", "-compress", "none")
        convert(f"im_bilevel_{tag}_g4", rgb, "-threshold", "50%", "-depth", "1", "-type",
                "bilevel", "-define", f"quantum:polarity={polarity}", "-compress", "group4")
        for depth in ["4", "8"]:
            convert(f"im_grey{depth}_{tag}", rgb, "-colorspace", "gray", "-depth", depth,
                    "-define", f"quantum:polarity={polarity}", "-compress", "none")
    convert("im_grey8_lzw", rgb, "-colorspace", "gray", "-depth", "8", "-compress", "lzw")
    convert("im_palette8", rgb, "-colors", "200", "-type", "palette", "-depth", "8",
            "-compress", "none")
    convert("im_palette4", rgb, "-colors", "16", "-type", "palette", "-depth", "4",
            "-compress", "none")
    convert("im_palette8_rle", rgb, "-colors", "100", "-type", "palette", "-depth", "8",
            "-compress", "rle")
    convert("im_rgb_300dpi", rgb, "-density", "300", "-units", "PixelsPerInch", "-depth", "8",
            "-compress", "lzw")
    convert("im_rgb_118dpcm", rgb, "-density", "118", "-units", "PixelsPerCentimeter", "-depth",
            "8", "-compress", "none")
    tiffcp("im_grey8_predictor", out / "im_grey8_min_is_black.tif", "-c", "lzw:2")
    tiffcp("im_palette8_predictor", out / "im_palette8.tif", "-c", "lzw:2", "-r", "3")

    # Hand-packed: a WhiteIsZero 8-bit page of two strips whose SHORT offsets and counts are held
    # in their entries.
    rng = random.Random(4)
    rows = [bytes(rng.randrange(256) for _ in range(9)) for _ in range(6)]
    (out / "packed_grey8_white_is_zero.tif").write_bytes(
        pack_tiff(9, 6, 0, 8, rows, 3, extra=[(282, 5, [(72, 1)]), (283, 5, [(72, 1)]),
                                                (296, 3, [2])]))
    made.append("packed_grey8_white_is_zero")

    with open(out / "manifest.txt", "w") as manifest:
        for name in made:
            path = out / f"{name}.tif"
            (width, height), pixels = oracle(path)
            pages, resolution, photometric, bits, tiled = file_facts(path)
            if tiled:
                pixels = bytes(3 * width * height)
            elif bits == 4 and photometric in (0, 1):
                pixels = to_reader_grey4(pixels, photometric)
            (out / f"{name}.rgb").write_bytes(pixels)
            dpi = f"{resolution[0]} {resolution[1]}" if resolution else "- -"
            manifest.write(f"{name} {width} {height} {pages} {dpi}\n")
    for leftover in work.iterdir():
        leftover.unlink()
    work.rmdir()


if __name__ == "__main__":
    main()
