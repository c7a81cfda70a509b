#!/usr/bin/env python3
"""Draws the program's own tool-bar glyphs and icon (used when the desktop's icon theme has no
glyph of the same name). Run from anywhere; writes the PNG files beside this script.
Requires Pillow (Debian: python3-pil)."""
import os
from PIL import Image, ImageDraw

SCALE = 4  # drawn large, then reduced, for smooth edges
HERE = os.path.dirname(os.path.abspath(__file__))


def canvas(size):
    image = Image.new("RGBA", (size * SCALE, size * SCALE), (0, 0, 0, 0))
    return image, ImageDraw.Draw(image)


def s(*values):
    return [v * SCALE for v in values]


def save(image, name, size):
    image.resize((size, size), Image.LANCZOS).save(os.path.join(HERE, name))


def picture(draw, box):
    """A framed landscape: sky, sun, hills."""
    x0, y0, x1, y1 = box
    draw.rectangle(s(x0, y0, x1, y1), fill=(250, 250, 245), outline=(90, 90, 90), width=SCALE)
    draw.rectangle(s(x0 + 2, y0 + 2, x1 - 2, y1 - 2), fill=(135, 190, 235))
    draw.ellipse(s(x1 - 9, y0 + 4, x1 - 5, y0 + 8), fill=(250, 210, 60))
    draw.polygon(s(x0 + 2, y1 - 2, x0 + 9, y0 + 9, x0 + 15, y1 - 2), fill=(70, 140, 70))
    draw.polygon(s(x0 + 10, y1 - 2, x0 + 17, y0 + 12, x1 - 2, y1 - 2), fill=(50, 115, 55))


def badge(draw, centre, colour):
    cx, cy = centre
    draw.ellipse(s(cx - 7, cy - 7, cx + 7, cy + 7), fill=colour, outline=(255, 255, 255),
                 width=SCALE)


def add():
    image, draw = canvas(32)
    picture(draw, (2, 4, 26, 24))
    badge(draw, (24, 24), (40, 150, 60))
    draw.rectangle(s(23, 20, 25, 28), fill="white")
    draw.rectangle(s(20, 23, 28, 25), fill="white")
    save(image, "add.png", 32)


def delete():
    image, draw = canvas(32)
    picture(draw, (2, 4, 26, 24))
    badge(draw, (24, 24), (200, 40, 40))
    draw.line(s(21, 21, 27, 27), fill="white", width=2 * SCALE)
    draw.line(s(21, 27, 27, 21), fill="white", width=2 * SCALE)
    save(image, "delete.png", 32)


def save_glyph():
    image, draw = canvas(32)
    draw.rounded_rectangle(s(3, 3, 29, 29), radius=2 * SCALE, fill=(45, 85, 150),
                           outline=(25, 50, 100), width=SCALE)
    draw.rectangle(s(8, 3, 24, 12), fill=(225, 230, 235))
    draw.rectangle(s(19, 5, 22, 10), fill=(45, 85, 150))
    draw.rectangle(s(7, 17, 25, 29), fill=(250, 250, 250))
    for y in (20, 23, 26):
        draw.line(s(9, y, 23, y), fill=(160, 160, 160), width=SCALE)
    save(image, "save.png", 32)


def rename():
    image, draw = canvas(32)
    draw.rectangle(s(2, 8, 26, 24), fill=(255, 255, 255), outline=(90, 90, 90), width=SCALE)
    draw.line(s(6, 12, 6, 20), fill=(30, 30, 30), width=SCALE)
    draw.line(s(4, 12, 8, 12), fill=(30, 30, 30), width=SCALE)
    draw.line(s(4, 20, 8, 20), fill=(30, 30, 30), width=SCALE)
    draw.line(s(10, 16, 18, 16), fill=(120, 120, 120), width=SCALE)
    # A pencil across the corner.
    draw.polygon(s(17, 26, 28, 15, 31, 18, 20, 29), fill=(240, 180, 40), outline=(140, 90, 20))
    draw.polygon(s(17, 26, 20, 29, 15, 31), fill=(240, 215, 170), outline=(140, 90, 20))
    save(image, "rename.png", 32)


def magnifier(draw):
    draw.line(s(19, 19, 29, 29), fill=(80, 60, 40), width=4 * SCALE)
    draw.ellipse(s(2, 2, 22, 22), fill=(225, 240, 250), outline=(70, 70, 80), width=2 * SCALE)


def zoom_in():
    image, draw = canvas(32)
    magnifier(draw)
    draw.rectangle(s(11, 7, 13, 17), fill=(30, 30, 30))
    draw.rectangle(s(7, 11, 17, 13), fill=(30, 30, 30))
    save(image, "zoom-in.png", 32)


def zoom_out():
    image, draw = canvas(32)
    magnifier(draw)
    draw.rectangle(s(7, 11, 17, 13), fill=(30, 30, 30))
    save(image, "zoom-out.png", 32)


def view_style():
    image, draw = canvas(32)
    draw.rectangle(s(8, 8, 24, 24), fill=(135, 190, 235), outline=(90, 90, 90), width=SCALE)
    colour = (30, 30, 30)
    for (x, y, dx, dy) in ((2, 2, 1, 1), (30, 2, -1, 1), (2, 30, 1, -1), (30, 30, -1, -1)):
        draw.polygon(s(x, y, x + 7 * dx, y, x, y + 7 * dy), fill=colour)
        draw.line(s(x, y, x + 6 * dx, y + 6 * dy), fill=colour, width=2 * SCALE)
    save(image, "view-style.png", 32)


def info():
    image, draw = canvas(32)
    draw.ellipse(s(2, 2, 30, 30), fill=(40, 100, 190), outline=(20, 60, 130), width=SCALE)
    draw.ellipse(s(14, 7, 18, 11), fill="white")
    draw.rectangle(s(14, 13, 18, 25), fill="white")
    save(image, "info.png", 32)


def program_icon():
    image, draw = canvas(64)
    # A strongbox holding a picture.
    draw.rounded_rectangle(s(4, 8, 60, 58), radius=6 * SCALE, fill=(95, 100, 110),
                           outline=(50, 52, 60), width=2 * SCALE)
    draw.rounded_rectangle(s(9, 13, 55, 53), radius=4 * SCALE, fill=(130, 136, 148))
    picture(draw, (14, 18, 50, 48))
    draw.ellipse(s(44, 38, 58, 52), fill=(230, 190, 60), outline=(140, 100, 20), width=SCALE)
    draw.ellipse(s(49, 42, 53, 46), fill=(60, 50, 30))
    draw.rectangle(s(50, 45, 52, 49), fill=(60, 50, 30))
    save(image, "stillkeep.png", 64)


if __name__ == "__main__":
    add()
    delete()
    save_glyph()
    rename()
    zoom_in()
    zoom_out()
    view_style()
    info()
    program_icon()
