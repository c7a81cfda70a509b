#!/usr/bin/env python3
"""Draws the program's icon for the desktop's hicolor theme at the usual sizes, with the same
drawing as app/resources/icons/make_icons.py, from a canvas large enough for the biggest size.
Writes icons/<N>x<N>/stillkeep.png beside this script. Requires Pillow (Debian: python3-pil)."""
import importlib.util
import os

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
DRAWING = os.path.join(HERE, "..", "..", "app", "resources", "icons", "make_icons.py")


def main():
    spec = importlib.util.spec_from_file_location("make_icons", DRAWING)
    drawing = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(drawing)
    drawing.SCALE = 8  # the 64-unit drawing on a 512-pixel canvas

    def save(image, name, size):
        for pixels in SIZES:
            folder = os.path.join(HERE, f"{pixels}x{pixels}")
            os.makedirs(folder, exist_ok=True)
            image.resize((pixels, pixels), Image.LANCZOS).save(os.path.join(folder, name),
                                                               optimize=True)

    drawing.save = save
    drawing.program_icon()


if __name__ == "__main__":
    main()
