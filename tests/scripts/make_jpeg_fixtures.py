#!/usr/bin/python3
"""Makes the JPEG fixtures of the imaging tests and decodes the readable ones with djpeg.

Usage: /usr/bin/python3 make_jpeg_fixtures.py OUTDIR

For every fixture NAME it writes OUTDIR/NAME.jpg; for those djpeg (libjpeg-turbo's own decoder)
reads, also OUTDIR/NAME.rgb (pixels top-down, red-green-blue; grayscale expanded to three equal
bytes) and a line "NAME WIDTH HEIGHT" in OUTDIR/manifest.txt. Files are written by Pillow, cjpeg
and ImageMagick; the remaining ones are byte edits of those, made here by walking the markers
(ITU-T T.81 B.1, JFIF 1.02 for the APP0 segment).
"""
import io
import struct
import subprocess
import sys
from pathlib import Path

from PIL import Image

CONVERT = "/usr/bin/convert"


def photo(size=(37, 23)):
    return Image.effect_mandelbrot(size, (-2, -1.2, 1, 1.2), 80).convert("RGB").point(
        lambda v: (v * 7) % 256).convert("RGB")


def colourful(size=(37, 23)):
    base = photo(size)
    r, g, b = base.split()
    return Image.merge("RGB", (r, g.rotate(90, expand=False), b.transpose(Image.FLIP_LEFT_RIGHT)))


def pillow_jpeg(image, **options):
    out = io.BytesIO()
    image.save(out, "JPEG", **options)
    return out.getvalue()


def segments(data):
    """(offset, marker, total length) of each marker segment up to and including SOS."""
    pos = 2
    found = []
    while pos < len(data):
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        found.append((pos, marker, 2 + length))
        if marker == 0xDA:
            break
        pos += 2 + length
    return found


def with_density(data, unit, x, y):
    pos, marker, _ = segments(data)[0]
    assert marker == 0xE0 and data[pos + 4:pos + 9] == b"JFIF\0"
    patched = bytearray(data)
    patched[pos + 11:pos + 16] = struct.pack(">BHH", unit, x, y)
    return bytes(patched)


def without_app0(data):
    pos, marker, length = segments(data)[0]
    assert marker == 0xE0
    return data[:pos] + data[pos + length:]


def cut_after_scan_header(data):
    pos, marker, length = segments(data)[-1]
    assert marker == 0xDA
    return data[:pos + length]


def tables_only(data):
    kept = b"".join(data[p:p + n] for p, m, n in segments(data) if m in (0xDB, 0xC4))
    return b"\xFF\xD8" + kept + b"\xFF\xD9"


def cjpeg(image, *args):
    ppm = io.BytesIO()
    image.save(ppm, "PPM")
    return subprocess.run(["cjpeg", *args], input=ppm.getvalue(), check=True,
                          capture_output=True).stdout


def djpeg(path):
    """Pixels and size as djpeg decodes them; djpeg exits with 2 after warnings."""
    result = subprocess.run(["djpeg", "-pnm", str(path)], capture_output=True)
    if result.returncode not in (0, 2) or not result.stdout:
        return None
    with Image.open(io.BytesIO(result.stdout)) as image:
        return image.convert("RGB").tobytes(), image.size


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    picture = colourful()
    baseline = pillow_jpeg(picture, quality=90, dpi=(300, 300))
    im_path = out / "im_plasma.jpg"
    subprocess.run([CONVERT, "-size", "53x41", "-seed", "3", "plasma:fractal", "-quality", "85",
                    str(im_path)], check=True)
    fixtures = {
        "baseline_420_300dpi": baseline,
        "baseline_444_72x96dpi": pillow_jpeg(picture, quality=80, subsampling=0, dpi=(72, 96)),
        "baseline_422": pillow_jpeg(picture, quality=70, subsampling=1),
        "progressive": pillow_jpeg(picture, quality=85, progressive=True),
        "grayscale": pillow_jpeg(picture.convert("L"), quality=90),
        "rgb_colour_space": cjpeg(picture, "-rgb", "-quality", "90"),
        "restart_markers": cjpeg(picture, "-restart", "1", "-quality", "75"),
        "optimized_huffman": cjpeg(picture, "-optimize", "-quality", "60"),
        "im_plasma": im_path.read_bytes(),
        "exif_without_jfif": without_app0(baseline),
        "density_dots_per_cm_118": with_density(baseline, 2, 118, 118),
        "density_aspect_2_to_1": with_density(baseline, 0, 2, 1),
        "density_unit_3": with_density(baseline, 3, 50, 50),
        "cut_in_scan_data": baseline[:len(baseline) * 3 // 5],
        # Readers must refuse these.
        "cmyk": pillow_jpeg(picture.convert("CMYK"), quality=90),
        "cut_after_scan_header": cut_after_scan_header(baseline),
        "tables_only": tables_only(baseline),
        "empty": b"",
        "not_a_jpeg": b"BM" + bytes(100),
    }
    lines = []
    for name, data in fixtures.items():
        path = out / f"{name}.jpg"
        path.write_bytes(data)
        if name in ("cmyk", "cut_after_scan_header", "tables_only", "empty", "not_a_jpeg"):
            continue
        decoded = djpeg(path)
        if decoded is None:
            sys.exit(f"{name}: djpeg cannot read it")
        pixels, size = decoded
        (out / f"{name}.rgb").write_bytes(pixels)
        lines.append(f"{name} {size[0]} {size[1]}\n")
    (out / "manifest.txt").write_text("".join(lines))


if __name__ == "__main__":
    main()
