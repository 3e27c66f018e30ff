#!/usr/bin/env python3
"""Makes a contact sheet of the show's scenes from a frame folder written by
`glimmerfrost --frames DIR`: for each order listed, the frame nearest to the
middle of that order (or at a given row), tiled with a thin black gap.

Usage: contact_sheet.py FRAMES_DIR OUTPUT.png [--columns N] [--pick ORDER:ROW ...]

Only the Python standard library is used (zlib for the PNG data)."""

import argparse
import csv
import os
import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
GAP = 4  # pixels between tiles


def read_png(path):
    """Returns (width, height, rows) with rows as bytearrays of RGB triples."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(PNG_SIGNATURE):
        raise ValueError(f"{path}: not a PNG file")
    pos = len(PNG_SIGNATURE)
    idat = bytearray()
    width = height = colour_type = None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour_type = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour_type not in (2, 6):
                raise ValueError(f"{path}: only 8-bit RGB or RGBA PNG files are read")
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if width is None:
        raise ValueError(f"{path}: no IHDR chunk")
    bpp = 3 if colour_type == 2 else 4
    raw = zlib.decompress(bytes(idat))
    stride = width * bpp
    rows = []
    previous = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - bpp] if i >= bpp else 0
            up = previous[i]
            upper_left = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else upper_left)
                line[i] = (line[i] + predictor) & 0xFF
        previous = line
        if bpp == 4:
            line = bytearray(b for j, b in enumerate(line) if j % 4 != 3)
        rows.append(line)
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    with open(path, "wb") as f:
        f.write(PNG_SIGNATURE)
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("frames_dir")
    parser.add_argument("output")
    parser.add_argument("--columns", type=int, default=4)
    parser.add_argument("--pick", nargs="*", default=None,
                        help="ORDER:ROW positions to show (default: the middle of every order 0-16)")
    args = parser.parse_args()

    with open(os.path.join(args.frames_dir, "frames.csv"), newline="") as f:
        frames = [(int(r["frame"]), int(r["order"]), int(r["row"])) for r in csv.DictReader(f)]
    wanted = []
    if args.pick:
        for text in args.pick:
            order, _, row = text.partition(":")
            wanted.append((int(order), int(row or 0)))
    else:
        for order in range(17):
            in_order = [fr for fr in frames if fr[1] == order]
            if in_order:
                wanted.append((order, in_order[len(in_order) // 2][2]))
    chosen = []
    for order, row in wanted:
        candidates = [fr for fr in frames if fr[1] == order and fr[2] >= row]
        if not candidates:
            sys.exit(f"contact_sheet.py: no frame at order {order} row {row} or later")
        chosen.append(candidates[0][0])

    tiles = [read_png(os.path.join(args.frames_dir, f"frame_{n:06d}.png")) for n in chosen]
    tile_w, tile_h = tiles[0][0], tiles[0][1]
    columns = max(1, min(args.columns, len(tiles)))
    lines = (len(tiles) + columns - 1) // columns
    width = columns * tile_w + (columns - 1) * GAP
    height = lines * tile_h + (lines - 1) * GAP
    sheet = [bytearray(width * 3) for _ in range(height)]
    for index, (_, _, rows) in enumerate(tiles):
        x0 = (index % columns) * (tile_w + GAP) * 3
        y0 = (index // columns) * (tile_h + GAP)
        for y, row in enumerate(rows):
            sheet[y0 + y][x0:x0 + len(row)] = row
    write_png(args.output, width, height, sheet)
    print(f"{args.output}: {len(tiles)} frames {', '.join(str(n) for n in chosen)}")


if __name__ == "__main__":
    main()
