#!/usr/bin/python3
"""Makes the PCX fixtures of the imaging tests and decodes each with independent readers.

Usage: /usr/bin/python3 make_pcx_fixtures.py OUTDIR

For every fixture NAME it writes OUTDIR/NAME.pcx and OUTDIR/NAME.rgb (the oracle's pixels, rows
top-down, red-green-blue), and a line "NAME WIDTH HEIGHT XDPI YDPI" in OUTDIR/manifest.txt with
the resolution the header gives (96 96, the reader's default, when either field is 0).
ImageMagick 6 (/usr/bin/convert) and Pillow write 1-bit, 8-bit palette, 8-bit greyscale and 24-bit
files from a small generated picture; one-plane 4-bit files (which neither writes) are packed here
from the layout of ZSoft's PCX description, plain and run-length, with odd widths. The oracle is
ImageMagick, Pillow, or both, in which case their pixels must agree or the script fails; 1-bit
files are decoded by Pillow alone, since ImageMagick colours them from the header palette where the
reader under test (like Pillow) shows set bits white and clear bits black.
"""
import random
import struct
import subprocess
import sys
from pathlib import Path

from PIL import Image

CONVERT = "/usr/bin/convert"


def photo(width, height, seed):
    rng = random.Random(seed)
    im = Image.new("RGB", (width, height))
    px = im.load()
    for y in range(height):
        for x in range(width):
            px[x, y] = ((x * 7 + rng.randrange(16)) % 256, (y * 11 + rng.randrange(16)) % 256,
                        rng.choice([0, 60, 200, 255]))
    return im


def rle(line):
    """ZSoft run-length coding of one plane line: runs of up to 63, values of 192 and more always
    as a run."""
    out = bytearray()
    i = 0
    while i < len(line):
        j = i
        while j < len(line) and j - i < 63 and line[j] == line[i]:
            j += 1
        count = j - i
        if count > 1 or line[i] >= 192:
            out += bytes([0xC0 | count, line[i]])
        else:
            out.append(line[i])
        i = j
    return bytes(out)


def pcx4(width, height, seed, run_length, dpi=(150, 75)):
    """A one-plane 4-bit PCX with a random 16-colour header palette."""
    rng = random.Random(seed)
    palette = bytes(rng.randrange(256) for _ in range(48))
    bytes_per_line = (width + 1) // 2
    bytes_per_line += bytes_per_line % 2  # even, as ZSoft asks
    header = struct.pack("<BBBBHHHHHH", 10, 5, 1 if run_length else 0, 4, 0, 0, width - 1,
                         height - 1, dpi[0], dpi[1])
    header += palette + b"\0" + bytes([1]) + struct.pack("<HH", bytes_per_line, 1)
    header = header.ljust(128, b"\0")
    data = bytearray()
    for _ in range(height):
        values = [rng.randrange(16) for _ in range(2 * bytes_per_line)]
        line = bytes(values[2 * k] << 4 | values[2 * k + 1] for k in range(bytes_per_line))
        data += rle(line) if run_length else line
    return header + bytes(data)


def decode(path, bilevel):
    results = []
    try:
        if bilevel:
            raise subprocess.CalledProcessError(0, "not the oracle for 1-bit files")
        rgb = subprocess.run([CONVERT, str(path), "-depth", "8", "rgb:-"], check=True,
                             capture_output=True).stdout
        size = subprocess.run(["/usr/bin/identify", "-format", "%w %h", str(path)], check=True,
                              capture_output=True, text=True).stdout.split()
        results.append(("ImageMagick", (int(size[0]), int(size[1])), rgb))
    except subprocess.CalledProcessError:
        pass
    try:
        with Image.open(path) as im:
            results.append(("Pillow", im.size, im.convert("RGB").tobytes()))
    except Exception:
        pass
    if not results:
        sys.exit(f"no oracle reads {path}")
    for name, size, pixels in results[1:]:
        if (size, pixels) != results[0][1:]:
            sys.exit(f"{path}: {name} and {results[0][0]} disagree")
    return results[0][1], results[0][2]


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    source = out / "source.png"
    photo(37, 23, 1).save(source)
    names = []

    def convert(name, *options):
        subprocess.run([CONVERT, str(source), *options, str(out / f"{name}.pcx")], check=True)
        names.append(name)

    convert("im_rgb24", "-type", "TrueColor")
    convert("im_palette8", "-colors", "100", "-type", "Palette")
    convert("im_bilevel", "-threshold", "50%", "-type", "Bilevel")
    convert("im_rgb24_300dpi", "-type", "TrueColor", "-density", "300", "-units",
            "PixelsPerInch")
    with Image.open(source) as im:
        for name, picture in [("pil_rgb24", im), ("pil_palette8", im.convert("P")),
                              ("pil_grey8", im.convert("L")), ("pil_bilevel", im.convert("1"))]:
            picture.save(out / f"{name}.pcx")
            names.append(name)
    for name, width, height, run_length in [("pcx4_w3_plain", 3, 4, False),
                                            ("pcx4_w3_rle", 3, 4, True),
                                            ("pcx4_w17_rle", 17, 9, True),
                                            ("pcx4_w16_plain", 16, 5, False)]:
        (out / f"{name}.pcx").write_bytes(pcx4(width, height, width * 10 + height, run_length))
        names.append(name)
    source.unlink()

    with open(out / "manifest.txt", "w") as manifest:
        for name in names:
            path = out / f"{name}.pcx"
            (width, height), pixels = decode(path, "bilevel" in name)
            (out / f"{name}.rgb").write_bytes(pixels)
            dpi_x, dpi_y = struct.unpack("<HH", path.read_bytes()[12:16])
            if dpi_x == 0 or dpi_y == 0:
                dpi_x = dpi_y = 96
            manifest.write(f"{name} {width} {height} {dpi_x} {dpi_y}\n")


if __name__ == "__main__":
    main()
