#!/usr/bin/env python3
"""Writes the two small bitmaps the bitmap-button tests load from resources:
a green face with a dark frame (released) and a red one (pressed), 24 x 16, 24 bits per pixel."""
import struct
import sys
from pathlib import Path

W, H = 24, 16


def bmp(face, frame):
    row_bytes = (W * 3 + 3) & ~3
    rows = []
    for y in range(H):
        row = bytearray()
        for x in range(W):
            r, g, b = frame if x in (0, W - 1) or y in (0, H - 1) else face
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))  # bottom-up
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    return file_header + header + pixels


out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "tests" / "win")
(out / "test_button_up.bmp").write_bytes(bmp((0, 160, 0), (0, 60, 0)))
(out / "test_button_down.bmp").write_bytes(bmp((200, 0, 0), (80, 0, 0)))
