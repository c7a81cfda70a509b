#!/usr/bin/python3
"""Writes the WMF and EMF fixtures of the metafile tests, record by record.

Usage: /usr/bin/python3 make_metafile_fixtures.py OUTDIR

Every record is packed here with struct from the record layouts of Microsoft's public WMF and
EMF documentation, and labelled. The same scene is written as a placeable WMF and as an EMF so
that both readers can be checked against one reference rendering (ImageMagick reads the WMF).

Files written:
- shapes.wmf, shapes.emf: 200 x 150 pixels; a red rectangle (20,20)-(80,70), a blue ellipse
  (100,20)-(180,80), a green triangle (20,140) (80,140) (50,90), a black line 3 pixels wide from
  (100,110) to (180,110) and a yellow rounded rectangle (100,120)-(180,145), all on a white
  rectangle over the whole frame.
- text.wmf, text.emf: 200 x 60 pixels; black "Stillkeep" 20 pixels high from (20,20).
- dib.wmf, dib.emf: 160 x 120 pixels; a 4 x 2 DIB (top row red, green, blue, white; bottom row
  black, yellow, magenta, cyan) stretched onto (40,40)-(120,80), each pixel a 20 x 20 block.
- size100x80.wmf, size100x80.emf: 100 x 80 pixels, a red rectangle over the whole picture.
"""
import struct
import sys
from pathlib import Path

# ---- WMF ----


def wmf_record(function, *words, data=b""):
    """A WMF record: size in 16-bit words, function, parameters (signed 16-bit), extra bytes."""
    body = struct.pack("<%dh" % len(words), *words) + data
    if len(body) % 2:
        body += b"\0"
    return struct.pack("<IH", 3 + len(body) // 2, function) + body


def wmf_colour(r, g, b):
    """A COLORREF as the two 16-bit words WMF records store it in."""
    value = r | g << 8 | b << 16
    return value & 0xFFFF, value >> 16


def s16(value):
    return value - 0x10000 if value >= 0x8000 else value


def wmf_file(left, top, right, bottom, inch, records, objects):
    """A placeable WMF: the placeable header, the WMF header and the records with EOF."""
    body = b"".join(records) + wmf_record(0x0000)  # META_EOF
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, left, top, right, bottom, inch, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    placeable += struct.pack("<H", checksum)
    largest = max(struct.unpack_from("<I", r)[0] for r in records) if records else 3
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, 9 + len(body) // 2, objects, largest, 0)
    return placeable + header + body


def wmf_pen(style, width, rgb):
    lo, hi = wmf_colour(*rgb)
    return wmf_record(0x02FA, style, width, 0, s16(lo), s16(hi))  # META_CREATEPENINDIRECT


def wmf_brush(style, rgb, hatch=0):
    lo, hi = wmf_colour(*rgb)
    return wmf_record(0x02FC, style, s16(lo), s16(hi), hatch)  # META_CREATEBRUSHINDIRECT


def wmf_select(index):
    return wmf_record(0x012D, index)  # META_SELECTOBJECT


def wmf_delete(index):
    return wmf_record(0x01F0, index)  # META_DELETEOBJECT


def wmf_window(org, ext):
    return [
        wmf_record(0x020B, org[1], org[0]),  # META_SETWINDOWORG y, x
        wmf_record(0x020C, ext[1], ext[0]),  # META_SETWINDOWEXT y, x
    ]


def shapes_wmf():
    # Logical units: tenths of a pixel (window 2000 x 1500 onto 200 x 150 pixels).
    r = wmf_window((0, 0), (2000, 1500))
    r += [
        wmf_record(0x0103, 8),                 # META_SETMAPMODE MM_ANISOTROPIC
        wmf_record(0x0102, 1),                 # META_SETBKMODE TRANSPARENT
        wmf_pen(5, 0, (0, 0, 0)),              # object 0: PS_NULL pen
        wmf_select(0),
        # A white rectangle over the whole frame: ImageMagick's reader crops to what is drawn.
        wmf_record(0x041B, 1500, 2000, 0, 0),  # META_RECTANGLE bottom, right, top, left
        wmf_brush(0, (255, 0, 0)),             # object 1: red brush
        wmf_select(1),
        wmf_record(0x041B, 700, 800, 200, 200),  # META_RECTANGLE bottom, right, top, left
        wmf_brush(0, (0, 0, 255)),             # object 2: blue brush
        wmf_select(2),
        wmf_delete(1),
        wmf_record(0x0418, 800, 1800, 200, 1000),  # META_ELLIPSE bottom, right, top, left
        wmf_brush(0, (0, 255, 0)),             # object 1 again: green brush
        wmf_select(1),
        wmf_record(0x0324, 3, 200, 1400, 800, 1400, 500, 900),  # META_POLYGON count, x, y...
        wmf_pen(0, 30, (0, 0, 0)),             # object 3: black pen 3 pixels wide
        wmf_select(3),
        wmf_record(0x0214, 1100, 1000),        # META_MOVETO y, x
        wmf_record(0x0213, 1100, 1800),        # META_LINETO y, x
        wmf_pen(5, 0, (0, 0, 0)),              # object 4: PS_NULL pen
        wmf_select(4),
        wmf_brush(0, (255, 255, 0)),           # object 5: yellow brush
        wmf_select(5),
        # META_ROUNDRECT height, width, bottom, right, top, left
        wmf_record(0x061C, 100, 100, 1450, 1800, 1200, 1000),
        wmf_record(0x0626, 15, 4, 0, 0),       # META_ESCAPE (ignored)
        wmf_record(0x0999, 1, 2, 3),           # unknown record (skipped)
    ]
    return wmf_file(0, 0, 2000, 1500, 960, r, 6)


def wmf_font(height, face):
    name = face.encode("latin-1") + b"\0"
    # META_CREATEFONTINDIRECT height, width, escapement, orientation, weight, then 8 bytes
    return wmf_record(0x02FB, height, 0, 0, 0, 400,
                      data=bytes([0, 0, 0, 0, 0, 0, 0, 0]) + name)


def text_wmf():
    text = b"Stillkeep"
    r = wmf_window((0, 0), (200, 60))
    r += [
        wmf_record(0x0102, 1),               # META_SETBKMODE TRANSPARENT
        wmf_font(-20, "DejaVu Sans"),        # object 0: 20-pixel em height
        wmf_select(0),
        wmf_record(0x0209, 0, 0),            # META_SETTEXTCOLOR black
        wmf_record(0x012E, 0),               # META_SETTEXTALIGN TA_TOP | TA_LEFT
        # META_TEXTOUT count, string (padded), y, x
        wmf_record(0x0521, len(text), data=text + b"\0" * (len(text) % 2) +
                   struct.pack("<hh", 20, 20)),
    ]
    return wmf_file(0, 0, 200, 60, 96, r, 1)


DIB_ROWS_TOP_DOWN = [
    [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)],
    [(0, 0, 0), (255, 255, 0), (255, 0, 255), (0, 255, 255)],
]


def dib_4x2():
    """A bottom-up 24-bit BITMAPINFOHEADER DIB (rows padded to 4 bytes) and its bits."""
    header = struct.pack("<IiiHHIIiiII", 40, 4, 2, 1, 24, 0, 0, 0, 0, 0, 0)
    bits = b""
    for row in reversed(DIB_ROWS_TOP_DOWN):
        bits += b"".join(bytes((b, g, r)) for r, g, b in row)
    return header, bits


def dib_wmf():
    header, bits = dib_4x2()
    r = wmf_window((0, 0), (160, 120))
    # META_STRETCHDIB rop (2 words), usage, srcH, srcW, ySrc, xSrc, destH, destW, yDst, xDst, DIB
    rop = 0x00CC0020  # SRCCOPY
    r.append(wmf_record(0x0F43, s16(rop & 0xFFFF), s16(rop >> 16), 0, 2, 4, 0, 0, 40, 80, 40,
                        40, data=header + bits))
    return wmf_file(0, 0, 160, 120, 96, r, 0)


def size_wmf():
    r = wmf_window((0, 0), (100, 80))
    r += [
        wmf_pen(5, 0, (0, 0, 0)),
        wmf_select(0),
        wmf_brush(0, (255, 0, 0)),
        wmf_select(1),
        wmf_record(0x041B, 80, 100, 0, 0),  # META_RECTANGLE over everything
    ]
    return wmf_file(0, 0, 100, 80, 96, r, 2)


# ---- EMF ----


def emf_record(record_type, data=b""):
    if len(data) % 4:
        data += b"\0" * (4 - len(data) % 4)
    return struct.pack("<II", record_type, 8 + len(data)) + data


def emf_file(width_px, height_px, records, handles):
    """An EMF whose frame is width_px x height_px at 96 dpi, on a 96 dpi reference device."""
    frame = (0, 0, round(width_px * 2540 / 96), round(height_px * 2540 / 96))
    body = b"".join(records) + emf_record(14, struct.pack("<III", 0, 16, 20))  # EMR_EOF
    size = 88 + len(body)
    header = struct.pack(
        "<II4i4iIIIIHHIIIiiii",
        1, 88,                                 # EMR_HEADER, record size
        0, 0, width_px - 1, height_px - 1,     # bounds (device pixels)
        *frame,                                # frame (0.01 mm)
        0x464D4520, 0x10000, size, len(records) + 2, handles, 0,
        0, 0, 0,                               # description, palette entries
        3780, 3780, 1000, 1000)                # reference device: 3.78 pixels per mm
    return header + body


def emf_u32s(*values):
    """32-bit fields; negative values are stored in two's complement."""
    return struct.pack("<%dI" % len(values), *(v & 0xFFFFFFFF for v in values))


def emf_colour(r, g, b):
    return r | g << 8 | b << 16


def emf_mapping(window_ext, viewport_ext):
    return [
        emf_record(17, emf_u32s(8)),               # EMR_SETMAPMODE MM_ANISOTROPIC
        emf_record(9, emf_u32s(*window_ext)),      # EMR_SETWINDOWEXTEX
        emf_record(11, emf_u32s(*viewport_ext)),   # EMR_SETVIEWPORTEXTEX (device pixels)
    ]


def emf_pen(index, style, width, rgb):
    return emf_record(38, emf_u32s(index, style, width, 0, emf_colour(*rgb)))  # EMR_CREATEPEN


def emf_brush(index, style, rgb, hatch=0):
    return emf_record(39, emf_u32s(index, style, emf_colour(*rgb), hatch))  # CREATEBRUSHINDIRECT


def emf_select(index):
    return emf_record(37, emf_u32s(index))  # EMR_SELECTOBJECT


def shapes_emf():
    bounds = emf_u32s(0, 0, 0, 0)
    r = emf_mapping((2000, 1500), (200, 150))
    r += [
        emf_record(18, emf_u32s(1)),                          # EMR_SETBKMODE TRANSPARENT
        emf_pen(1, 5, 0, (0, 0, 0)),                          # PS_NULL pen
        emf_select(1),
        emf_record(43, emf_u32s(0, 0, 2000, 1500)),           # EMR_RECTANGLE, white, everything
        emf_brush(2, 0, (255, 0, 0)),                         # red brush
        emf_select(2),
        emf_record(43, emf_u32s(200, 200, 800, 700)),         # EMR_RECTANGLE
        emf_brush(3, 0, (0, 0, 255)),                         # blue brush
        emf_select(3),
        emf_record(40, emf_u32s(2)),                          # EMR_DELETEOBJECT red
        emf_record(42, emf_u32s(1000, 200, 1800, 800)),       # EMR_ELLIPSE
        emf_brush(2, 0, (0, 255, 0)),                         # green brush in slot 2
        emf_select(2),
        # EMR_POLYGON16 bounds, count, points
        emf_record(86, bounds + emf_u32s(3) + struct.pack("<6h", 200, 1400, 800, 1400, 500, 900)),
        emf_pen(4, 0, 30, (0, 0, 0)),                         # black pen, 30 logical units
        emf_select(4),
        emf_record(27, emf_u32s(1000, 1100)),                 # EMR_MOVETOEX
        emf_record(54, emf_u32s(1800, 1100)),                 # EMR_LINETO
        emf_select(0x80000008),                               # stock NULL_PEN
        emf_brush(5, 0, (255, 255, 0)),                       # yellow brush
        emf_select(5),
        emf_record(44, emf_u32s(1000, 1200, 1800, 1450, 100, 100)),  # EMR_ROUNDRECT
        emf_record(70, emf_u32s(8) + b"comment!"),            # EMR_GDICOMMENT (ignored)
        emf_record(200, emf_u32s(1, 2, 3)),                   # unknown record (skipped)
    ]
    return emf_file(200, 150, r, 6)


def text_emf():
    text = "Stillkeep"
    face = "DejaVu Sans".encode("utf-16-le").ljust(64, b"\0")
    logfont = emf_u32s(-20, 0, 0, 0, 400) + bytes(8) + face
    string = text.encode("utf-16-le")
    # EMR_EXTTEXTOUTW: bounds, graphics mode, x scale, y scale, then EMRTEXT: reference point,
    # chars, string offset, options, rectangle, advances offset; the string follows at 76.
    emrtext = emf_u32s(20, 20, len(text), 76, 0, 0, 0, 0, 0, 0)
    r = [
        emf_record(18, emf_u32s(1)),                          # EMR_SETBKMODE TRANSPARENT
        emf_record(82, emf_u32s(1) + logfont),                # EMR_EXTCREATEFONTINDIRECTW
        emf_select(1),
        emf_record(24, emf_u32s(0)),                          # EMR_SETTEXTCOLOR black
        emf_record(84, emf_u32s(0, 0, 0, 0) + emf_u32s(1) + struct.pack("<ff", 1, 1) + emrtext +
                   string),
    ]
    return emf_file(200, 60, r, 2)


def dib_emf():
    header, bits = dib_4x2()
    # EMR_STRETCHDIBITS: bounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmi, cbBmi, offBits,
    # cbBits, usage, rop, cxDest, cyDest; the DIB follows the 80 fixed bytes.
    fixed = emf_u32s(0, 0, 0, 0, 40, 40, 0, 0, 4, 2, 80, len(header), 80 + len(header), len(bits),
                     0, 0x00CC0020, 80, 40)
    return emf_file(160, 120, [emf_record(81, fixed + header + bits)], 1)


def size_emf():
    r = [
        emf_select(0x80000008),                               # NULL_PEN
        emf_brush(1, 0, (255, 0, 0)),
        emf_select(1),
        emf_record(43, emf_u32s(0, 0, 100, 80)),
    ]
    return emf_file(100, 80, r, 2)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    files = {
        "shapes.wmf": shapes_wmf(), "shapes.emf": shapes_emf(),
        "text.wmf": text_wmf(), "text.emf": text_emf(),
        "dib.wmf": dib_wmf(), "dib.emf": dib_emf(),
        "size100x80.wmf": size_wmf(), "size100x80.emf": size_emf(),
    }
    for name, data in files.items():
        (out / name).write_bytes(data)
    (out / "manifest.txt").write_text("\n".join(files) + "\n")


if __name__ == "__main__":
    main()
