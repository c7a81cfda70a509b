#!/usr/bin/python3
"""Makes the GIF fixtures of the imaging tests and decodes GIF files with independent readers.

Usage:
  /usr/bin/python3 gif_oracles.py make OUTDIR NAME   make one fixture and its oracle decode
  /usr/bin/python3 gif_oracles.py decode GIF PREFIX [GIF PREFIX ...]
                                                     decode one-image GIFs with giflib and Pillow
  /usr/bin/python3 gif_oracles.py names              list the fixture names

make writes OUTDIR/NAME.gif, OUTDIR/NAME.K.rgb for every image K (pixels of image K alone, rows
top-down, red-green-blue, as giflib decodes it) and OUTDIR/NAME.txt, one line:
  WIDTH HEIGHT IMAGES INTERLACED TRANSPARENT TR TG TB BR BG BB
for image 0: its size, the number of images, the interlace and transparency flags, the colour at
the transparent index (of the image's local table, else the global one) and the screen background
colour (the global table's entry at the background index; 0 0 0 without a global table). These
facts come from giflib's dump (gifbuild -d); image 0's pixels must also agree with Pillow's and
ImageMagick's, or the script fails.

Fixtures named im_* are written by ImageMagick 6 (/usr/bin/convert), pil_* by Pillow, gb_* by
giflib's gifbuild and gl_* by giflib's gif2rgb. A few are then edited here (each says how):
gifbuild writes a graphic control extension after its image, where it applies to nothing, so the
script puts one before the image instead; gifbuild cannot write a file without a global colour
table, so the script removes one; and it re-cuts image data into 1-byte sub-blocks.

decode writes PREFIX.giflib.rgb (gif2rgb -1) and PREFIX.pillow.rgb for a GIF whose only image
covers its logical screen.
"""
import random
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

from PIL import Image

CONVERT = "/usr/bin/convert"


# ---- pictures ----

def distinct_colours(rng, count):
    colours = set()
    while len(colours) < count:
        colours.add((rng.randrange(256), rng.randrange(256), rng.randrange(256)))
    return sorted(colours)


def palette_picture(seed, width, height, count):
    """RGB bytes of a picture using exactly `count` colours (each at least once)."""
    rng = random.Random(seed)
    colours = distinct_colours(rng, count)
    indexes = list(range(count)) + [rng.randrange(count) for _ in range(width * height - count)]
    rng.shuffle(indexes)
    return b"".join(bytes(colours[i]) for i in indexes)


# ---- GIF blocks ----

def split_gif(data):
    """(header with global table, [blocks], trailer present) of a well-formed GIF."""
    packed = data[10]
    pos = 13 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0)
    header, blocks = data[:pos], []
    while pos < len(data) and data[pos] != 0x3B:
        start = pos
        if data[pos] == 0x21:
            pos += 2
        elif data[pos] == 0x2C:
            packed = data[pos + 9]
            pos += 10 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0) + 1
        else:
            raise ValueError("unexpected block 0x%02x" % data[pos])
        while data[pos] != 0:
            pos += 1 + data[pos]
        pos += 1
        blocks.append(data[start:pos])
    return header, blocks


def join_gif(header, blocks):
    return header + b"".join(blocks) + b";"


def graphic_control(transparent_index=None, delay=0):
    flags = 1 if transparent_index is not None else 0
    return b"\x21\xf9\x04" + struct.pack("<BHB", flags, delay, transparent_index or 0) + b"\0"


def rechunk(image_block, size):
    """The image block with its data cut into sub-blocks of `size` bytes."""
    packed = image_block[9]
    pos = 10 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0) + 1
    head, data = image_block[:pos], bytearray()
    while image_block[pos] != 0:
        data += image_block[pos + 1:pos + 1 + image_block[pos]]
        pos += 1 + image_block[pos]
    out = bytearray(head)
    for i in range(0, len(data), size):
        piece = data[i:i + size]
        out += bytes([len(piece)]) + piece
    return bytes(out) + b"\0"


# ---- writers ----

def run(args, **kwargs):
    subprocess.run(args, check=True, **kwargs)


def imagemagick(tmp, rgb, width, height, options=(), prefix=""):
    source = tmp / "in.rgb"
    source.write_bytes(rgb)
    out = tmp / "out.gif"
    run([CONVERT, "-size", "%dx%d" % (width, height), "-depth", "8", "rgb:%s" % source,
         *options, prefix + str(out)])
    return out.read_bytes()


def imagemagick_frames(tmp, frames, width, height):
    names = []
    for k, rgb in enumerate(frames):
        source = tmp / ("frame%d.rgb" % k)
        source.write_bytes(rgb)
        names.append("rgb:%s" % source)
    out = tmp / "out.gif"
    run([CONVERT, "-size", "%dx%d" % (width, height), "-depth", "8", *names, str(out)])
    return out.read_bytes()


def pillow(tmp, rgb, width, height, **options):
    out = tmp / "out.gif"
    image = Image.frombytes("RGB", (width, height), rgb).quantize(256, dither=Image.Dither.NONE)
    image.save(out, **options)
    return out.read_bytes()


def colour_map(colours, keys=True):
    lines = []
    for i, c in enumerate(colours):
        key = " is %s" % chr(ord("A") + i) if keys else ""
        lines.append("\trgb %03d %03d %03d%s" % (c[0], c[1], c[2], key))
    return "\n".join(lines) + "\nend\n"


def gifbuild_image(indexes, width, height, image_map=None, interlaced=False):
    text = "image\nimage left 0\nimage top 0\n"
    if interlaced:
        text += "image interlaced\n"
    if image_map:
        text += "image map\n" + colour_map(image_map)
    text += "image bits %d by %d\n" % (width, height)
    for y in range(height):
        text += "".join(chr(ord("A") + indexes[y * width + x]) for x in range(width)) + "\n"
    return text + "\n"


def gifbuild(tmp, screen_map, images, width, height, background=0):
    text = "screen width %d\nscreen height %d\nscreen colors %d\nscreen background %d\n" % (
        width, height, 1 << max(1, (len(screen_map) - 1).bit_length()), background)
    text += "screen map\n" + colour_map(screen_map) + "\n" + "".join(images)
    description = tmp / "in.txt"
    description.write_text(text)
    return subprocess.run(["gifbuild", str(description)], check=True, capture_output=True).stdout


def random_indexes(seed, count, colours):
    rng = random.Random(seed)
    return [rng.randrange(colours) for _ in range(count)]


# ---- the fixtures ----

def im_palette(seed, width, height, count, options=(), prefix=""):
    return lambda tmp: imagemagick(tmp, palette_picture(seed, width, height, count), width, height,
                                   options, prefix)


def im_transparent(tmp):
    rgb = palette_picture(4, 40, 30, 16)
    first = "rgb(%d,%d,%d)" % tuple(rgb[:3])
    return imagemagick(tmp, rgb, 40, 30, ["-transparent", first])


def im_three_frames(tmp):
    frames = [palette_picture(seed, 24, 16, count) for seed, count in ((7, 20), (8, 90), (9, 5))]
    return imagemagick_frames(tmp, frames, 24, 16)


def gb_local_table(tmp):
    screen = [(0, 0, 0), (255, 255, 255), (10, 20, 30), (40, 50, 60)]
    local = [(200, 0, 0), (0, 200, 0), (0, 0, 200), (100, 100, 100), (1, 2, 3), (9, 8, 7)]
    image = gifbuild_image(random_indexes(11, 7 * 6, 6), 7, 6, local)
    header, blocks = split_gif(gifbuild(tmp, screen, [image], 7, 6, background=2))
    return join_gif(header, [graphic_control(transparent_index=1, delay=7)] + blocks)


def gb_no_global_table(tmp):
    local = [(200, 0, 0), (0, 200, 0), (0, 0, 200)]
    image = gifbuild_image(random_indexes(12, 5 * 4, 3), 5, 4, local)
    header, blocks = split_gif(gifbuild(tmp, [(1, 1, 1), (2, 2, 2)], [image], 5, 4))
    header = header[:10] + bytes([header[10] & 0x7F]) + header[11:13]
    return join_gif(header, blocks)


def gb_interlaced_local(tmp):
    local = [(i * 20, 255 - i * 20, i * 7) for i in range(10)]
    image = gifbuild_image(random_indexes(13, 6 * 9, 10), 6, 9, local, interlaced=True)
    return gifbuild(tmp, [(0, 0, 0), (255, 255, 255)], [image], 6, 9)


def gb_two_images(tmp):
    screen = [(i * 30, i * 30, 255 - i * 30) for i in range(8)]
    first = gifbuild_image(random_indexes(14, 8 * 5, 8), 8, 5)
    second = gifbuild_image(random_indexes(15, 8 * 5, 4), 8, 5,
                            [(250, 1, 1), (1, 250, 1), (1, 1, 250), (77, 77, 77)])
    header, blocks = split_gif(gifbuild(tmp, screen, [first, second], 8, 5, background=5))
    # The graphic control extension before the second image applies to it alone.
    return join_gif(header, [blocks[0], graphic_control(transparent_index=3), blocks[1]])


def gl_quantised(tmp):
    rng = random.Random(16)
    width, height = 50, 40
    source = tmp / "in.rgb"
    source.write_bytes(bytes(rng.randrange(256) for _ in range(width * height * 3)))
    return subprocess.run(["gif2rgb", "-1", "-s", str(width), str(height), str(source)],
                          check=True, capture_output=True).stdout


def im_one_byte_sub_blocks(tmp):
    header, blocks = split_gif(im_palette(17, 64, 40, 256)(tmp))
    return join_gif(header, [rechunk(b, 1) if b[0] == 0x2C else b for b in blocks])


FIXTURES = {
    "im_256_colours": im_palette(1, 64, 40, 256),
    "im_256_colours_interlaced": im_palette(1, 64, 40, 256, ["-interlace", "GIF"]),
    "im_two_colours": im_palette(2, 33, 17, 2),
    "im_transparent": im_transparent,
    "im_gif87": im_palette(3, 23, 19, 50, prefix="GIF87:"),
    "im_gif89": im_palette(3, 23, 19, 50),
    "im_noise_300x200": im_palette(5, 300, 200, 256),
    "im_three_frames": im_three_frames,
    "im_one_byte_sub_blocks": im_one_byte_sub_blocks,
    "pil_interlaced": lambda tmp: pillow(tmp, palette_picture(6, 120, 90, 200), 120, 90),
    "pil_transparent_index_5": lambda tmp: pillow(tmp, palette_picture(10, 30, 20, 12), 30, 20,
                                                  transparency=5, interlace=False),
    "gb_local_table": gb_local_table,
    "gb_no_global_table": gb_no_global_table,
    "gb_interlaced_local": gb_interlaced_local,
    "gb_two_images": gb_two_images,
    "gl_quantised": gl_quantised,
}
for h in (1, 2, 3, 4, 5, 9):
    FIXTURES["im_interlaced_h%d" % h] = im_palette(20 + h, 5, h, min(12, 5 * h),
                                                   ["-interlace", "GIF"])


# ---- giflib's view of a file ----

def parse_dump(text):
    """Screen and images of giflib's dump: colour maps, GCEs, rasters as indexes."""
    screen = {"background": 0, "map": None}
    images, gce, lines, i = [], None, text.splitlines(), 0

    def read_map(i):
        colours, keys = [], {}
        while lines[i].strip() != "end":
            words = lines[i].split()
            if words and words[0] == "rgb":
                colours.append(tuple(int(w) for w in words[1:4]))
                if len(words) >= 6:
                    keys[words[5]] = len(colours) - 1
            i += 1
        return (colours, keys), i + 1

    while i < len(lines):
        line = lines[i].strip()
        if line.startswith("screen background"):
            screen["background"] = int(line.split()[2])
        elif line == "screen map":
            screen["map"], i = read_map(i + 1)
            continue
        elif line == "graphics control":
            gce = {"transparent": -1}
            while lines[i].strip() != "end":
                if lines[i].strip().startswith("transparent index"):
                    gce["transparent"] = int(lines[i].split()[2])
                i += 1
        elif line.startswith("image #"):
            images.append({"map": None, "interlaced": False, "gce": gce})
            gce = None
        elif line == "image interlaced":
            images[-1]["interlaced"] = True
        elif line == "image map":
            images[-1]["map"], i = read_map(i + 1)
            continue
        elif line.startswith("image bits"):
            words = line.split()
            width, height, image = int(words[2]), int(words[4]), images[-1]
            keys = (image["map"] or screen["map"])[1]
            rows = lines[i + 1:i + 1 + height]
            if len(words) > 5 and words[5] == "hex":
                values = [int(r[2 * x:2 * x + 2], 16) for r in rows for x in range(width)]
            else:
                values = [keys[r[x]] for r in rows for x in range(width)]
            image.update(width=width, height=height, indexes=values)
            i += height
        i += 1
    return screen, images


def rgb_of(indexes, colours):
    colours = colours + [(0, 0, 0)] * (256 - len(colours))
    return b"".join(bytes(colours[v]) for v in indexes)


def pillow_first_frame(path):
    with Image.open(path) as image:
        image.seek(0)
        return image.convert("RGB").tobytes()


def imagemagick_first_frame(path):
    return subprocess.run([CONVERT, "%s[0]" % path, "-depth", "8", "rgb:-"], check=True,
                          capture_output=True).stdout


def make(outdir, name):
    outdir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        data = FIXTURES[name](Path(tmp))
    path = outdir / (name + ".gif")
    path.write_bytes(data)
    dump = subprocess.run(["gifbuild", "-d", str(path)], check=True, capture_output=True,
                          text=True).stdout
    screen, images = parse_dump(dump)
    screen_colours = screen["map"][0] if screen["map"] else []
    for k, image in enumerate(images):
        colours = (image["map"] or screen["map"])[0]
        (outdir / ("%s.%d.rgb" % (name, k))).write_bytes(rgb_of(image["indexes"], colours))
    first = images[0]
    giflib = (outdir / (name + ".0.rgb")).read_bytes()
    for oracle, pixels in (("Pillow", pillow_first_frame(path)),
                           ("ImageMagick", imagemagick_first_frame(path))):
        if pixels != giflib:
            sys.exit("%s: giflib and %s disagree" % (name, oracle))
    table = (first["map"] or screen["map"])[0]
    table = table + [(0, 0, 0)] * (256 - len(table))
    index = first["gce"]["transparent"] if first["gce"] else -1
    transparent = table[max(index, 0)]
    background = (screen_colours + [(0, 0, 0)] * 256)[screen["background"]] \
        if screen_colours else (0, 0, 0)
    facts = [first["width"], first["height"], len(images), int(first["interlaced"]),
             int(index >= 0), *transparent, *background]
    (outdir / (name + ".txt")).write_text(" ".join(map(str, facts)) + "\n")


def decode(gif, prefix):
    run(["gif2rgb", "-1", "-o", prefix + ".giflib.rgb", gif])
    Path(prefix + ".pillow.rgb").write_bytes(pillow_first_frame(gif))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        make(Path(sys.argv[2]), sys.argv[3])
    elif len(sys.argv) >= 4 and len(sys.argv) % 2 == 0 and sys.argv[1] == "decode":
        for gif, prefix in zip(sys.argv[2::2], sys.argv[3::2]):
            decode(gif, prefix)
    elif len(sys.argv) == 2 and sys.argv[1] == "names":
        print("\n".join(sorted(FIXTURES)))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
