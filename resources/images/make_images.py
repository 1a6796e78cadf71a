#!/usr/bin/env python3
"""Draws the module's small pictures (toolbox bitmaps, icons) as BMP and ICO
files. Run it from this folder; the outputs are committed beside it."""
import struct


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y from the top."""
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header, data


def write_bmp(path, width, height, pixel):
    header, data = bmp24(width, height, pixel)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)))
        f.write(header + data)


def write_ico(path, size, pixel):
    """A one-image icon: 24-bit colour and an all-opaque AND mask."""
    header, data = bmp24(size, size, pixel)
    # The icon's bitmap header counts the colour and the mask rows together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    image = header + data + mask
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), 22))
        f.write(image)


def paper_clip(w, h, ink, paper):
    """A sheet with a folded corner and a stripe: reads as 'attachment'."""
    def pixel(x, y):
        fold = w // 4
        if x >= w - fold and y < fold and (x - (w - fold)) > y:
            return paper[0] // 2, paper[1] // 2, paper[2] // 2
        if x in (1, w - 2) or y in (1, h - 2):
            return ink
        if h // 3 <= y <= h // 3 + 1 and 3 <= x <= w - 4:
            return ink
        if 2 * h // 3 <= y <= 2 * h // 3 + 1 and 3 <= x <= w - 6:
            return ink
        return paper
    return pixel


write_bmp("toolbox_up.bmp", 16, 15, paper_clip(16, 15, (0, 64, 160), (255, 255, 255)))
write_bmp("toolbox_dn.bmp", 16, 15, paper_clip(16, 15, (0, 128, 64), (255, 255, 255)))
write_ico("parvex.ico", 32, paper_clip(32, 32, (0, 64, 160), (240, 240, 255)))
write_ico("server_file.ico", 16, paper_clip(16, 16, (160, 64, 0), (255, 250, 230)))


def header_checks(x, y):
    """Two 13x13 boxes side by side: empty, then ticked; magenta is clear."""
    cell, bx = x % 13, x // 13
    if cell in (1, 11) and 1 <= y <= 11 or y in (1, 11) and 1 <= cell <= 11:
        return (0, 0, 0)
    if 2 <= cell <= 10 and 2 <= y <= 10:
        tick = {3: 6, 4: 7, 5: 8, 6: 7, 7: 6, 8: 5, 9: 4}
        if bx == 1 and cell in tick and tick[cell] <= y <= tick[cell] + 1:
            return (0, 0, 0)
        return (255, 255, 255)
    return (255, 0, 255)


write_bmp("header_checks.bmp", 26, 13, header_checks)
