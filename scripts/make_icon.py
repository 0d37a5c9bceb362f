#!/usr/bin/env python3
"""Draws Tolvane's logo mark and writes it as a Windows icon with PNG images.

The mark is two overlapping rounded squares: the lower-left one filled with a diagonal gradient from
accent blue to violet, the upper-right one white at alpha 150 over it. Each size is rasterised on
its own (no scaling of a large image), with 4 x 4 supersampling at the edges so the small sizes stay
crisp. Standard library only, so the build needs nothing but python3.

Usage: make_icon.py OUT.ico [--png-dir DIR]   (--png-dir also writes tolvane_<size>.png files)
"""

import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 128, 256)
ACCENT = (0x00, 0x7A, 0xFF)
ACCENT2 = (0xA7, 0x8B, 0xFA)
OVERLAY_ALPHA = 150
SUBSAMPLES = 4


def rounded_square_coverage(px, py, x0, y0, side, radius):
    """Fraction of pixel (px, py) covered by the rounded square (x0, y0, side, radius)."""
    x1, y1 = x0 + side, y0 + side
    r = min(radius, side / 2)
    # Whole pixel outside the bounding box, or inside the part untouched by the corners: no sampling.
    if px + 1 <= x0 or px >= x1 or py + 1 <= y0 or py >= y1:
        return 0.0
    inner_x = px >= x0 + r and px + 1 <= x1 - r and py >= y0 and py + 1 <= y1
    inner_y = py >= y0 + r and py + 1 <= y1 - r and px >= x0 and px + 1 <= x1
    if inner_x or inner_y:
        return 1.0
    hits = 0
    step = 1.0 / SUBSAMPLES
    for j in range(SUBSAMPLES):
        sy = py + (j + 0.5) * step
        for i in range(SUBSAMPLES):
            sx = px + (i + 0.5) * step
            if sx < x0 or sx >= x1 or sy < y0 or sy >= y1:
                continue
            # Distance to the nearest corner centre decides only inside the corner boxes.
            cx = min(max(sx, x0 + r), x1 - r)
            cy = min(max(sy, y0 + r), y1 - r)
            if (sx - cx) ** 2 + (sy - cy) ** 2 <= r * r:
                hits += 1
    return hits / (SUBSAMPLES * SUBSAMPLES)


def render(s):
    """RGBA rows (non-premultiplied) of the mark at size s."""
    radius = max(8 * s / 30, 3)
    rows = []
    for py in range(s):
        row = bytearray()
        for px in range(s):
            # Gradient from (0, 0) to (s, s): position along the diagonal.
            t = min(max((px + 0.5 + py + 0.5) / (2 * s), 0.0), 1.0)
            base = [ACCENT[k] + (ACCENT2[k] - ACCENT[k]) * t for k in range(3)]
            a1 = rounded_square_coverage(px, py, 0, 0.2 * s, 0.8 * s, radius)
            a2 = rounded_square_coverage(px, py, 0.28 * s, 0, 0.72 * s, radius) * OVERLAY_ALPHA / 255
            # Source-over of white (a2) on the gradient square (a1) on transparent.
            alpha = a2 + a1 * (1 - a2)
            if alpha <= 0:
                row += b"\0\0\0\0"
                continue
            colour = [(255 * a2 + base[k] * a1 * (1 - a2)) / alpha for k in range(3)]
            row += bytes(int(round(min(max(c, 0), 255))) for c in colour)
            row.append(int(round(alpha * 255)))
        rows.append(bytes(row))
    return rows


def png_bytes(rows, s):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + r for r in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", s, s, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def ico_bytes(images):
    """images: list of (size, png bytes). Entries of 256 px store 0 as their width and height."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in images:
        dim = 0 if s >= 256 else s
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    out = Path(argv[1])
    png_dir = None
    if len(argv) >= 4 and argv[2] == "--png-dir":
        png_dir = Path(argv[3])
        png_dir.mkdir(parents=True, exist_ok=True)
    images = []
    for s in SIZES:
        data = png_bytes(render(s), s)
        images.append((s, data))
        if png_dir:
            (png_dir / f"tolvane_{s}.png").write_bytes(data)
    out.parent.mkdir(parents=True, exist_ok=True)
    tmp = out.with_suffix(out.suffix + ".tmp")
    tmp.write_bytes(ico_bytes(images))
    tmp.replace(out)  # a half-written icon never reaches windres
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
