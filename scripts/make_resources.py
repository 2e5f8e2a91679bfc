#!/usr/bin/env python3
"""Draws the program's own icons and bitmaps into resources/art/ from simple shapes (circles,
polygons, strokes) with 4x4 supersampling. Run it again after changing a drawing; the outputs are
committed so the build needs no Python.

Icons are 32-bit (alpha) BMP-in-ICO files with 16x16 and 32x32 images; bitmaps are 24-bit BMPs."""
import struct
import sys
from pathlib import Path

SS = 4  # supersampling factor


class Canvas:
    def __init__(self, size):
        self.size = size
        n = size * SS
        self.n = n
        self.px = [[(0, 0, 0, 0)] * n for _ in range(n)]

    def _put(self, x, y, rgba):
        if 0 <= x < self.n and 0 <= y < self.n:
            self.px[y][x] = rgba

    # Shapes take coordinates in units of the 0..1 square.
    def fill(self, inside, rgba):
        n = self.n
        for y in range(n):
            fy = (y + 0.5) / n
            for x in range(n):
                if inside((x + 0.5) / n, fy):
                    self._put(x, y, rgba)

    def circle(self, cx, cy, r, rgba):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, rgba)

    def ring(self, cx, cy, r, w, rgba):
        self.fill(lambda x, y: (r - w) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r, rgba)

    def rect(self, x0, y0, x1, y1, rgba):
        self.fill(lambda x, y: x0 <= x <= x1 and y0 <= y <= y1, rgba)

    def polygon(self, pts, rgba):
        def inside(x, y):
            c = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.fill(inside, rgba)

    def line(self, x0, y0, x1, y1, w, rgba):
        dx, dy = x1 - x0, y1 - y0
        ll = dx * dx + dy * dy

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
            px, py = x0 + t * dx, y0 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= (w / 2) ** 2
        self.fill(inside, rgba)

    def pixels(self):
        """Downsampled RGBA rows, top to bottom (premultiplied averaging)."""
        out = []
        for y in range(self.size):
            row = []
            for x in range(self.size):
                r = g = b = a = 0
                for sy in range(SS):
                    for sx in range(SS):
                        pr, pg, pb, pa = self.px[y * SS + sy][x * SS + sx]
                        r += pr * pa; g += pg * pa; b += pb * pa; a += pa
                if a:
                    row.append((r // a, g // a, b // a, a // (SS * SS)))
                else:
                    row.append((0, 0, 0, 0))
            out.append(row)
        return out


def ico(draw):
    images = []
    for size in (16, 32):
        c = Canvas(size)
        draw(c)
        rows = c.pixels()
        xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
        mask_row = ((size + 31) // 32) * 4
        and_mask = b"".join(
            bytes(
                sum((0x80 >> (x % 8)) for x in range(byte * 8, byte * 8 + 8) if x < size and row[x][3] == 0)
                for byte in range(mask_row)
            )
            for row in reversed(rows)
        )
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
        images.append((size, header + xor + and_mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(d for _, d in images)


def bmp(w, h, draw):
    c = Canvas(max(w, h))
    draw(c)
    rows = c.pixels()
    row_bytes = (w * 3 + 3) & ~3
    data = b""
    for row in reversed(rows[:h]):
        line = b""
        for (r, g, b, a) in row[:w]:
            # composite onto white
            line += bytes(((b * a + 255 * (255 - a)) // 255, (g * a + 255 * (255 - a)) // 255, (r * a + 255 * (255 - a)) // 255))
        data += line + b"\0" * (row_bytes - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54) + header + data


BLUE = (30, 90, 190, 255)
DARK = (40, 40, 60, 255)
WHITE = (255, 255, 255, 255)
GREEN = (30, 150, 60, 255)
RED = (200, 40, 40, 255)
ORANGE = (235, 140, 20, 255)
GREY = (150, 155, 165, 255)


def app_icon(c):          # a disk platter with a magnifier: finding things on a disk
    c.circle(0.42, 0.42, 0.38, GREY)
    c.circle(0.42, 0.42, 0.3, (205, 210, 220, 255))
    c.circle(0.42, 0.42, 0.07, DARK)
    c.line(0.62, 0.62, 0.92, 0.92, 0.14, ORANGE)
    c.ring(0.55, 0.55, 0.2, 0.07, BLUE)


def go_icon(c):           # a right arrow
    c.circle(0.5, 0.5, 0.47, GREEN)
    c.polygon([(0.25, 0.4), (0.5, 0.4), (0.5, 0.22), (0.8, 0.5), (0.5, 0.78), (0.5, 0.6), (0.25, 0.6)], WHITE)


def about_icon(c):        # "i"
    c.circle(0.5, 0.5, 0.47, BLUE)
    c.circle(0.5, 0.26, 0.08, WHITE)
    c.rect(0.42, 0.4, 0.58, 0.8, WHITE)


def help_icon(c):         # "?"
    c.circle(0.5, 0.5, 0.47, ORANGE)
    c.ring(0.5, 0.36, 0.18, 0.09, WHITE)
    c.rect(0.25, 0.36, 0.5, 0.56, ORANGE)
    c.rect(0.44, 0.5, 0.56, 0.64, WHITE)
    c.circle(0.5, 0.78, 0.07, WHITE)


def exit_icon(c):         # a cross
    c.circle(0.5, 0.5, 0.47, RED)
    c.line(0.3, 0.3, 0.7, 0.7, 0.13, WHITE)
    c.line(0.7, 0.3, 0.3, 0.7, 0.13, WHITE)


def contact_icon(c):      # an envelope
    c.rect(0.08, 0.22, 0.92, 0.78, BLUE)
    c.rect(0.14, 0.28, 0.86, 0.72, WHITE)
    c.line(0.14, 0.3, 0.5, 0.56, 0.08, BLUE)
    c.line(0.86, 0.3, 0.5, 0.56, 0.08, BLUE)


def share_icon(color, mark):
    def draw(c):
        c.rect(0.05, 0.05, 0.95, 0.95, color)
        mark(c)
    return draw


def share_button(pressed):
    def draw(c):
        face = (70, 110, 200, 255) if not pressed else (40, 70, 150, 255)
        c.rect(0.0, 0.0, 1.0, 0.24, face)
        for i, col in enumerate((RED, BLUE, (30, 160, 220, 255), GREEN)):
            c.circle(0.06 + i * 0.08, 0.12, 0.045, col)
    return draw


def back_icon(c):         # a left arrow
    c.circle(0.5, 0.5, 0.47, BLUE)
    c.polygon([(0.75, 0.4), (0.5, 0.4), (0.5, 0.22), (0.2, 0.5), (0.5, 0.78), (0.5, 0.6), (0.75, 0.6)], WHITE)


def next_icon(c):         # a right arrow on blue, apart from the green "Go"
    c.circle(0.5, 0.5, 0.47, BLUE)
    c.polygon([(0.25, 0.4), (0.5, 0.4), (0.5, 0.22), (0.8, 0.5), (0.5, 0.78), (0.5, 0.6), (0.25, 0.6)], WHITE)


def refresh_icon(c):      # a circular arrow
    c.ring(0.5, 0.5, 0.4, 0.13, GREEN)
    c.rect(0.5, 0.05, 0.95, 0.45, (0, 0, 0, 0))
    c.polygon([(0.5, 0.02), (0.5, 0.36), (0.78, 0.19)], GREEN)


def stop_icon(c):         # a red octagon with a white bar
    k = 0.29
    c.polygon([(k, 0.03), (1 - k, 0.03), (0.97, k), (0.97, 1 - k), (1 - k, 0.97), (k, 0.97), (0.03, 1 - k), (0.03, k)], RED)
    c.rect(0.22, 0.42, 0.78, 0.58, WHITE)


def save_icon(c):         # a floppy disk
    c.rect(0.08, 0.08, 0.92, 0.92, BLUE)
    c.rect(0.25, 0.08, 0.75, 0.38, WHITE)
    c.rect(0.58, 0.13, 0.68, 0.33, BLUE)
    c.rect(0.2, 0.55, 0.8, 0.92, (220, 225, 235, 255))


def document(c):
    c.polygon([(0.15, 0.05), (0.62, 0.05), (0.85, 0.28), (0.85, 0.95), (0.15, 0.95)], GREY)
    c.polygon([(0.2, 0.1), (0.6, 0.1), (0.8, 0.3), (0.8, 0.9), (0.2, 0.9)], WHITE)
    for y in (0.35, 0.5, 0.65):
        c.line(0.28, y, 0.6, y, 0.05, GREY)


def save_log_icon(c):     # a list with an arrow going down into it
    document(c)
    c.line(0.68, 0.3, 0.68, 0.7, 0.12, GREEN)
    c.polygon([(0.5, 0.62), (0.86, 0.62), (0.68, 0.92)], GREEN)


def load_log_icon(c):     # a list with an arrow coming up out of it
    document(c)
    c.line(0.68, 0.45, 0.68, 0.9, 0.12, ORANGE)
    c.polygon([(0.5, 0.5), (0.86, 0.5), (0.68, 0.2)], ORANGE)


def entire_drive_icon(c):  # a hard disk under a magnifier
    c.rect(0.05, 0.45, 0.8, 0.85, GREY)
    c.rect(0.1, 0.5, 0.75, 0.72, (205, 210, 220, 255))
    c.circle(0.66, 0.78, 0.04, GREEN)
    c.line(0.62, 0.42, 0.92, 0.12, 0.1, ORANGE)
    c.circle(0.45, 0.5, 0.24, (0, 0, 0, 0))
    c.ring(0.45, 0.5, 0.24, 0.08, BLUE)


# ---- Image strips: cells side by side, a mask colour where nothing is drawn -------------------

YELLOW = (240, 200, 60, 255)
TAN = (200, 160, 40, 255)


def open_folder_icon(c):   # an open folder: where the found files were saved
    c.polygon([(0.04, 0.2), (0.38, 0.2), (0.46, 0.28), (0.86, 0.28), (0.86, 0.84), (0.04, 0.84)], (200, 160, 40, 255))
    c.polygon([(0.16, 0.44), (0.98, 0.44), (0.86, 0.84), (0.04, 0.84)], (240, 200, 60, 255))


def browse_icon(c):       # a folder under a magnifier: choosing where to save
    c.polygon([(0.04, 0.24), (0.34, 0.24), (0.42, 0.32), (0.78, 0.32), (0.78, 0.8), (0.04, 0.8)], (240, 200, 60, 255))
    c.line(0.66, 0.66, 0.94, 0.94, 0.12, ORANGE)
    c.circle(0.56, 0.56, 0.2, (255, 255, 255, 200))
    c.ring(0.56, 0.56, 0.2, 0.07, BLUE)


def picture_placeholder(c):  # a framed landscape: a found picture that could not be shown
    c.rect(0.0, 0.0, 1.0, 1.0, (235, 238, 242, 255))
    c.rect(0.12, 0.18, 0.88, 0.82, GREY)
    c.rect(0.16, 0.22, 0.84, 0.78, (200, 225, 245, 255))
    c.circle(0.68, 0.36, 0.07, YELLOW)
    c.polygon([(0.16, 0.78), (0.38, 0.46), (0.56, 0.7), (0.66, 0.58), (0.84, 0.78)], GREEN)
    c.line(0.3, 0.3, 0.44, 0.44, 0.05, RED)
    c.line(0.44, 0.3, 0.3, 0.44, 0.05, RED)




def computer_cell(c):     # a monitor on a stand
    c.rect(0.1, 0.12, 0.9, 0.7, DARK)
    c.rect(0.16, 0.18, 0.84, 0.64, (90, 160, 230, 255))
    c.rect(0.42, 0.7, 0.58, 0.82, GREY)
    c.rect(0.25, 0.82, 0.75, 0.9, DARK)


def drive_cell(c):        # a drive box with its light: "Logical Drives" and a drive letter
    c.rect(0.06, 0.34, 0.94, 0.72, GREY)
    c.rect(0.1, 0.38, 0.9, 0.68, (205, 210, 220, 255))
    c.circle(0.78, 0.53, 0.06, GREEN)
    c.line(0.18, 0.53, 0.6, 0.53, 0.06, DARK)


def partition_cell(c):    # a platter with one slice taken out
    c.circle(0.5, 0.5, 0.42, GREY)
    c.polygon([(0.5, 0.5), (0.5, 0.0), (1.0, 0.0), (1.0, 0.5)], (0, 0, 0, 0))
    c.polygon([(0.56, 0.44), (0.56, 0.04), (0.72, 0.07), (0.86, 0.18), (0.96, 0.36), (0.96, 0.44)], BLUE)
    c.circle(0.5, 0.5, 0.08, DARK)


def disk_cell(c):         # a hard disk seen from the top
    c.rect(0.14, 0.06, 0.86, 0.94, DARK)
    c.circle(0.5, 0.42, 0.3, (205, 210, 220, 255))
    c.circle(0.5, 0.42, 0.06, DARK)
    c.line(0.72, 0.82, 0.55, 0.5, 0.06, ORANGE)


def root_cell(c):         # a stack of disks: everything the scan found
    for y in (0.72, 0.5, 0.28):
        c.rect(0.12, y - 0.1, 0.88, y + 0.1, GREY)
        c.rect(0.16, y - 0.06, 0.84, y + 0.06, (205, 210, 220, 255))
        c.circle(0.75, y, 0.04, GREEN)


def folder_cell(c):
    c.polygon([(0.06, 0.22), (0.4, 0.22), (0.48, 0.3), (0.94, 0.3), (0.94, 0.84), (0.06, 0.84)], TAN)
    c.polygon([(0.06, 0.4), (0.94, 0.4), (0.94, 0.84), (0.06, 0.84)], YELLOW)


BOX_EDGE = (60, 80, 120, 255)
BOX_FACE = (252, 252, 252, 255)


def tick_box(mark):
    def draw(c):
        c.rect(0.08, 0.08, 0.92, 0.92, BOX_EDGE)
        c.rect(0.16, 0.16, 0.84, 0.84, BOX_FACE)
        if mark == "ticked":
            c.line(0.26, 0.5, 0.44, 0.7, 0.14, DARK)
            c.line(0.44, 0.7, 0.76, 0.28, 0.14, DARK)
        elif mark == "partly":
            c.rect(0.3, 0.3, 0.7, 0.7, (40, 110, 200, 255))
    return draw


def strip(cell, draws, mask):
    """A 24-bit BMP of len(draws) cells of cell x cell pixels; undrawn pixels get `mask`, the edges
    of shapes are blended onto white (the trees' background)."""
    cells = []
    for draw in draws:
        c = Canvas(cell)
        draw(c)
        cells.append(c.pixels())
    w, h = cell * len(draws), cell
    row_bytes = (w * 3 + 3) & ~3
    data = b""
    for y in reversed(range(h)):
        line = b""
        for rows in cells:
            for (r, g, b, a) in rows[y]:
                if a == 0:
                    line += bytes((mask[2], mask[1], mask[0]))
                else:
                    line += bytes(((b * a + 255 * (255 - a)) // 255, (g * a + 255 * (255 - a)) // 255,
                                   (r * a + 255 * (255 - a)) // 255))
        data += line + b"\0" * (row_bytes - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54) + header + data


MAGENTA = (255, 0, 255)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "art"
    out.mkdir(parents=True, exist_ok=True)
    icons = {
        "app.ico": app_icon, "go.ico": go_icon, "about.ico": about_icon, "help.ico": help_icon,
        "exit.ico": exit_icon, "contact.ico": contact_icon,
        "back.ico": back_icon, "next.ico": next_icon, "refresh.ico": refresh_icon, "stop.ico": stop_icon,
        "save.ico": save_icon, "save_log.ico": save_log_icon, "load_log.ico": load_log_icon,
        "entire_drive.ico": entire_drive_icon,
        "open_folder.ico": open_folder_icon, "browse.ico": browse_icon,
        "share1.ico": share_icon(RED, lambda c: c.circle(0.5, 0.5, 0.25, WHITE)),
        "share2.ico": share_icon(BLUE, lambda c: c.rect(0.42, 0.2, 0.58, 0.85, WHITE)),
        "share3.ico": share_icon(BLUE, lambda c: c.polygon([(0.3, 0.8), (0.3, 0.45), (0.5, 0.2), (0.7, 0.45), (0.7, 0.8)], WHITE)),
        "share4.ico": share_icon((30, 160, 220, 255), lambda c: c.line(0.25, 0.5, 0.75, 0.5, 0.15, WHITE)),
    }
    for name, draw in icons.items():
        (out / name).write_bytes(ico(draw))
    (out / "share_up.bmp").write_bytes(bmp(128, 30, share_button(False)))
    (out / "share_down.bmp").write_bytes(bmp(128, 30, share_button(True)))
    (out / "no_picture.bmp").write_bytes(bmp(100, 100, picture_placeholder))
    (out / "drive_tree.bmp").write_bytes(strip(24, [computer_cell, drive_cell, partition_cell, disk_cell], MAGENTA))
    (out / "result_tree.bmp").write_bytes(strip(24, [root_cell, folder_cell], MAGENTA))
    # Cell 0 stays blank (all mask): state 0 means "no box".
    (out / "tree_state.bmp").write_bytes(
        strip(13, [lambda c: None, tick_box("unticked"), tick_box("ticked"), tick_box("partly")], (255, 255, 255)))


if __name__ == "__main__":
    main()
