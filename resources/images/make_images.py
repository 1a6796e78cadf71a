#!/usr/bin/env python3
"""Draws the module's pictures (toolbox bitmaps, icons, the list window's
bitmaps) as BMP and ICO files. Run it from this folder; the outputs are
committed beside it. Korean words are rendered by ImageMagick's convert with
a Nanum font of the machine, so the same machine gives the same files."""
import struct
import subprocess

FONT_DIR = "/usr/share/fonts/truetype/nanum/"
CONVERT = "/usr/bin/convert"  # ImageMagick itself, not a wrapper on the PATH


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


def icon_image(size, pixel, clear=None):
    """One icon image: 24-bit colour and an AND mask; clear(x, y) marks
    transparent pixels (none when clear is None)."""
    header, data = bmp24(size, size, lambda x, y: (0, 0, 0) if clear and clear(x, y) else pixel(x, y))
    # The icon's bitmap header counts the colour and the mask rows together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if clear and clear(x, y):
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + data + bytes(mask)


def write_ico(path, images):
    """images: (size, pixel, clear) triples, smallest first."""
    blobs = [(size, icon_image(size, pixel, clear)) for size, pixel, clear in images]
    offset = 6 + 16 * len(blobs)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(blobs)))
        for size, blob in blobs:
            f.write(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 24, len(blob), offset))
            offset += len(blob)
        for _, blob in blobs:
            f.write(blob)


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
write_ico("parvex.ico", [(16, paper_clip(16, 16, (0, 64, 160), (240, 240, 255)), None),
                         (32, paper_clip(32, 32, (0, 64, 160), (240, 240, 255)), None)])
write_ico("server_file.ico", [(16, paper_clip(16, 16, (160, 64, 0), (255, 250, 230)), None)])


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


# --- pictures with Korean words ----------------------------------------------

WHITE = (255, 255, 255)


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def fill(self, left, top, right, bottom, colour):
        for y in range(top, bottom):
            for x in range(left, right):
                self.put(x, y, colour)

    def blend(self, x, y, colour, cover):
        if not (0 <= x < self.width and 0 <= y < self.height) or cover <= 0:
            return
        old = self.pixels[y][x]
        self.pixels[y][x] = tuple(round(o + (c - o) * cover) for o, c in zip(old, colour))

    def text(self, left, top, words, colour, size, font="NanumGothicBold.ttf"):
        """Draws words with their box's top left at (left, top); returns the
        box's width and height."""
        width, height, cover = render_text(words, size, font)
        for y in range(height):
            for x in range(width):
                self.blend(left + x, top + y, colour, cover[y][x])
        return width, height

    def write(self, path):
        write_bmp(path, self.width, self.height, lambda x, y: self.pixels[y][x])


def render_text(words, size, font):
    """Coverage (0..1) of the words drawn in a font at size pixels, as rows."""
    pgm = subprocess.run([CONVERT, "-background", "white", "-fill", "black", "-font", FONT_DIR + font,
                          "-density", "72", "-pointsize", str(size), "label:" + words, "-depth", "8", "pgm:-"],
                         check=True, capture_output=True).stdout
    fields = pgm.split(maxsplit=4)
    width, height = int(fields[1]), int(fields[2])
    data = fields[4]
    return width, height, [[1 - data[y * width + x] / 255 for x in range(width)] for y in range(height)]


def text_width(words, size, font="NanumGothicBold.ttf"):
    return render_text(words, size, font)[0]


def switch_button(c, left, top, enabled):
    """A small raised button with two opposite arrows (switchable), or a
    flat grey box with a bar (fixed)."""
    right, bottom = left + 17, top + 14
    if enabled:
        c.fill(left, top, right, bottom, (236, 233, 216))
        c.fill(left, top, right, top + 1, WHITE)
        c.fill(left, top, left + 1, bottom, WHITE)
        c.fill(left, bottom - 1, right, bottom, (113, 111, 100))
        c.fill(right - 1, top, right, bottom, (113, 111, 100))
        ink = (0, 0, 0)
        for i in range(3):  # arrow to the right on top, to the left below
            c.fill(left + 4, top + 4, left + 11, top + 5, ink)
            c.fill(left + 10 + i, top + 2 + i, left + 11 + i, top + 7 - i, ink)
            c.fill(left + 6, top + 9, left + 13, top + 10, ink)
            c.fill(left + 6 - i, top + 7 + i, left + 7 - i, top + 12 - i, ink)
    else:
        c.fill(left, top, right, bottom, (212, 208, 200))
        c.fill(left, top, right, top + 1, (160, 160, 160))
        c.fill(left, bottom - 1, right, bottom, (160, 160, 160))
        c.fill(left, top, left + 1, bottom, (160, 160, 160))
        c.fill(right - 1, top, right, bottom, (160, 160, 160))
        c.fill(left + 4, top + 6, left + 13, top + 8, (128, 128, 128))


def kind_label(path, words, colour, switchable):
    """107x16: the kind's words in their colour, the mark at the right."""
    c = Canvas(107, 16, WHITE)
    c.text(3, 0, words, colour, 12)
    switch_button(c, 88, 1, switchable)
    c.write(path)


BIG = (192, 64, 0)
GENERAL = (0, 70, 160)
kind_label("kind_big_fixed.bmp", "대용량 첨부", BIG, False)       # 215
kind_label("kind_big_switch.bmp", "대용량 첨부", BIG, True)       # 218
kind_label("kind_general_switch.bmp", "일반 첨부", GENERAL, True)  # 219
kind_label("kind_server_fixed.bmp", "일반 첨부", GENERAL, False)  # 220


def small_file(c, left, top, ink):
    """A 16x20 sheet with a folded corner and three lines of text."""
    w, h, fold = 16, 20, 5
    for y in range(h):
        for x in range(w):
            if x >= w - fold and y < fold and x - (w - fold) > y:
                continue
            edge = x in (0, w - 1) or y in (0, h - 1) or (x >= w - fold and x - (w - fold) == y)
            c.put(left + x, top + y, ink if edge else WHITE)
    for line in (7, 11, 15):
        c.fill(left + 3, top + line, left + w - 3, top + line + 1, ink)


def drop_hint(path):
    """322x75: three small files falling into a tray, and the line that asks
    for them to be dragged here with the mouse."""
    c = Canvas(322, 75, WHITE)
    grey = (150, 150, 150)
    for i, ink in enumerate(((0, 70, 160), (192, 64, 0), (0, 128, 64))):
        small_file(c, 125 + i * 26, 4 + (i % 2) * 3, ink)
    c.fill(118, 30, 204, 32, grey)  # the tray under them
    c.fill(118, 26, 120, 32, grey)
    c.fill(202, 26, 204, 32, grey)
    words = "마우스로 파일을 끌어다 여기에 놓으세요 (드래그 앤 드롭)"
    width = text_width(words, 13, "NanumGothic.ttf")
    c.text((322 - width) // 2, 44, words, (90, 90, 90), 13, "NanumGothic.ttf")
    c.write(path)


drop_hint("drop_hint.bmp")  # 204


def tray_download(size):
    """The download dialog's tray icon: a green arrow down onto a tray."""
    s = size / 16
    green, dark = (0, 150, 60), (0, 90, 40)

    def pixel(x, y):
        fx, fy = x / s, y / s
        if 13 <= fy < 15 and 2 <= fx < 14:
            return dark
        if 10 <= fy < 13 and (2 <= fx < 3.5 or 12.5 <= fx < 14):
            return dark
        if 1 <= fy < 7 and 6 <= fx < 10:
            return green
        if 7 <= fy < 12 and abs(fx - 8) < 12 - fy:
            return green
        return WHITE

    def clear(x, y):
        return pixel(x, y) == WHITE

    return size, pixel, clear


write_ico("tray_download.ico", [tray_download(16), tray_download(32)])  # 207
