"""Helpers of the rendering tests: the golden cases shared with the C++ suite,
positions built from their board notation, and a real raster of an SVG text
(rsvg-convert) read back with a small PNG decoder (zlib + struct only)."""

import shutil
import struct
import subprocess
import zlib
from pathlib import Path

import tovak_python

GOLDEN_DIR = Path(__file__).resolve().parent.parent / "data" / "render"
RASTERISER = "rsvg-convert"  # Debian package librsvg2-bin


# --- golden cases ----------------------------------------------------------------


def load_cases():
    """(name, board, side, move or None) for every line of cases.txt."""
    cases = []
    for line in (GOLDEN_DIR / "cases.txt").read_text(encoding="ascii").splitlines():
        if not line or line.startswith("#"):
            continue
        name, board, side, move = line.split()
        cases.append((name, board, side, None if move == "-" else move))
    return cases


def position_from_board(board, side):
    """Ranks 8 to 1 separated by "/", each from file a: W, B, or a count of empty squares."""
    position = tovak_python.Position.empty(side)
    ranks = board.split("/")
    assert len(ranks) == 8, board
    for rank_label, rank in zip("87654321", ranks):
        file = 0
        for ch in rank:
            if ch.isdigit():
                file += int(ch)
            else:
                position.set_piece({"W": "white", "B": "black"}[ch], "abcdefgh"[file] + rank_label)
                file += 1
        assert file == 8, board
    return position


def golden_text(file_name):
    return (GOLDEN_DIR / file_name).read_bytes().decode("utf-8")


# --- raster --------------------------------------------------------------------------


class Image:
    """8-bit RGB(A) pixels, row by row from the top."""

    def __init__(self, width, height, channels, rows):
        self.width, self.height, self.channels, self.rows = width, height, channels, rows

    def rgb(self, x, y):
        at = x * self.channels
        return tuple(self.rows[y][at : at + 3])


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _unfilter(kind, line, previous, channels):
    """Undoes one scanline's filter in place; `previous` is the row above, unfiltered."""
    if kind == 0:
        return
    if kind == 2:
        line[:] = bytes((x + u) & 0xFF for x, u in zip(line, previous))
        return
    for i in range(len(line)):
        left = line[i - channels] if i >= channels else 0
        if kind == 1:
            line[i] = (line[i] + left) & 0xFF
        elif kind == 3:
            line[i] = (line[i] + (left + previous[i]) // 2) & 0xFF
        elif kind == 4:
            up_left = previous[i - channels] if i >= channels else 0
            line[i] = (line[i] + _paeth(left, previous[i], up_left)) & 0xFF
        else:
            raise ValueError(f"unknown PNG filter {kind}")


def decode_png(data):
    """Decodes a non-interlaced 8-bit greyscale, RGB or RGBA PNG; refuses anything else."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    at, header, idat = 8, None, bytearray()
    while at < len(data):
        (length,) = struct.unpack(">I", data[at : at + 4])
        kind, body = data[at + 4 : at + 8], data[at + 8 : at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length : at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            raise ValueError(f"bad CRC in {kind!r} chunk")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        at += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour_type)
    if depth != 8 or channels is None or interlace != 0:
        raise ValueError(f"unsupported PNG layout {header}")
    raw = zlib.decompress(bytes(idat))
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1 : at + 1 + stride])
        at += 1 + stride
        _unfilter(kind, line, previous, channels)
        previous = line
        if channels < 3:  # greyscale: spread to RGB so callers see one layout
            line = bytearray(v for g in line[::channels] for v in (g, g, g))
        rows.append(line)
    return Image(width, height, max(channels, 3), rows)


def rasterise(svg_text):
    """The picture as rendered by a real SVG renderer, decoded."""
    if shutil.which(RASTERISER) is None:
        raise RuntimeError(f"{RASTERISER} not found: install the Debian package librsvg2-bin")
    png = subprocess.run(
        [RASTERISER, "--format=png"], input=svg_text.encode("utf-8"), capture_output=True, check=True
    ).stdout
    return decode_png(png)


def hex_rgb(colour):
    return tuple(int(colour[i : i + 2], 16) for i in (1, 3, 5))


def over(top, opacity, bottom):
    """`top` painted with `opacity` over `bottom` (all RGB)."""
    return tuple(opacity * t + (1 - opacity) * b for t, b in zip(top, bottom))
