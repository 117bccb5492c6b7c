"""Rendering methods: style names, errors, the golden diagrams and pictures,
the SVG as an XML document, and the SVG as a picture, rasterised by a real
SVG renderer and checked pixel by pixel."""

import functools
import struct
import xml.etree.ElementTree as ET
import zlib

import pytest

from tovak_python import Position
from rendering_support import (
    decode_png,
    golden_text,
    hex_rgb,
    load_cases,
    over,
    position_from_board,
    rasterise,
)

STYLE_MESSAGE = "style must be 'discs' or 'letters'"
SVG_NS = "{http://www.w3.org/2000/svg}"
SQUARES = [f + r for r in "12345678" for f in "abcdefgh"]  # a1 = 0 ... h8 = 63

CASES = load_cases()
BOARD_CASES = [c for c in CASES if c[3] is None]
MOVE_CASES = [c for c in CASES if c[3] is not None]

LIGHT = hex_rgb("#f5e6c8")
DARK = hex_rgb("#a06b3b")
WHITE_FILL = hex_rgb("#fffdf7")
BLACK_FILL = hex_rgb("#1f1f1f")
MOVE_RED = hex_rgb("#d7263d")
PIVOT_BLUE = hex_rgb("#118ab2")


def case_id(case):
    return case[0]


def case_position(case):
    return position_from_board(case[1], case[2])


def case_svg(case):
    position = case_position(case)
    return position.svg_board() if case[3] is None else position.svg_for_move(case[3])


# --- style names ------------------------------------------------------------------


@pytest.mark.parametrize(
    "call",
    [
        lambda p: p.ascii_board(),
        lambda p: p.ascii_board(None),
        lambda p: p.ascii_board(style=None),
        *[
            (lambda name: lambda p: p.ascii_board(name))(name)
            for name in ["discs", "DISCS", "Disc", "disc", "circle", "CIRCLES", "circles", "unicode", "UniCode"]
        ],
        lambda p: p.ascii_board(style="Discs"),
    ],
)
def test_disc_names_and_the_default_give_the_disc_diagram(call):
    assert call(Position()) == golden_text("initial.discs.txt")


@pytest.mark.parametrize("name", ["letters", "LETTERS", "Letters", "ascii", "ASCII", "aScIi"])
def test_letter_names_give_the_letter_diagram(name):
    assert Position().ascii_board(name) == golden_text("initial.letters.txt")
    assert Position().ascii_board(style=name) == golden_text("initial.letters.txt")


@pytest.mark.parametrize(
    "name",
    [
        "",
        "letter",
        "disk",
        "discs ",
        " discs",
        "dis cs",
        "discs\n",
        "discs\x00",
        "ascii\t",
        "discsdiscs",
        # Only A-Z fold: letters that Unicode folding would turn into a match are refused.
        "DISC\u017f",  # long s, case-folds to s
        "a\u017fcii",
        "\u0130",  # capital I with dot
        "\uff44\uff49\uff53\uff43\uff53",  # full-width discs
        "l\u00e9tters",
    ],
)
def test_other_names_raise_value_error_with_the_fixed_message(name):
    with pytest.raises(ValueError) as caught:
        Position().ascii_board(name)
    assert caught.value.args == (STYLE_MESSAGE,)


@pytest.mark.parametrize("style", [1, 0, True, 1.5, b"discs", bytearray(b"letters"), ["discs"], object()])
def test_non_text_style_raises_type_error_naming_the_argument(style):
    for call in (lambda: Position().ascii_board(style), lambda: Position().ascii_board(style=style)):
        with pytest.raises(TypeError) as caught:
            call()
        assert str(caught.value).startswith("argument 'style': ")


@pytest.mark.parametrize(
    "call",
    [
        lambda p: p.ascii_board("discs", "letters"),
        lambda p: p.ascii_board(styles="discs"),
        lambda p: p.ascii_board("discs", style="discs"),
        lambda p: p.svg_board(None),
        lambda p: p.svg_board(mv="a1-b3"),
        lambda p: p.svg_for_move(),
        lambda p: p.svg_for_move("a1-b3", "a1-b3"),
        lambda p: p.svg_for_move(move="a1-b3"),
        lambda p: p.svg_for_move(1),
        lambda p: p.svg_for_move(None),
    ],
)
def test_wrong_arguments_raise_type_error(call):
    with pytest.raises(TypeError):
        call(Position())


def test_non_text_move_names_the_argument():
    with pytest.raises(TypeError) as caught:
        Position().svg_for_move(b"a1-b3")
    assert str(caught.value).startswith("argument 'mv': ")


@pytest.mark.parametrize(
    "text, message",
    [
        ("a9-a1", "invalid square in move"),
        ("e2e4", "invalid square in move"),
        ("e2-z9-a1", "invalid square in move"),
        ("a1", "invalid move format"),
        ("e2-e4-", "invalid move format"),
        ("", "invalid square in move"),
    ],
)
def test_malformed_move_raises_the_parser_message(text, message):
    with pytest.raises(ValueError) as caught:
        Position().svg_for_move(text)
    assert caught.value.args == (message,)


# --- golden outputs ------------------------------------------------------------------


@pytest.mark.parametrize("case", BOARD_CASES, ids=case_id)
def test_bare_board_methods_give_the_golden_files(case):
    name = case[0]
    position = case_position(case)
    assert position.ascii_board() == golden_text(name + ".discs.txt")
    assert position.ascii_board("letters") == golden_text(name + ".letters.txt")
    assert position.svg_board() == golden_text(name + ".svg")


@pytest.mark.parametrize("case", MOVE_CASES, ids=case_id)
def test_move_pictures_give_the_golden_files(case):
    position = case_position(case)
    assert position.svg_for_move(case[3]) == golden_text(case[0] + ".svg")
    assert position.svg_for_move(mv=case[3].upper()) == golden_text(case[0] + ".svg")


def test_results_are_new_strings():
    p = Position()
    for first, second in [
        (p.ascii_board(), p.ascii_board()),
        (p.svg_board(), p.svg_board()),
        (p.svg_for_move("d1-d3"), p.svg_for_move("d1-d3")),
    ]:
        assert type(first) is str and first == second


def test_diagram_ignores_the_side_to_move():
    for style in ("discs", "letters"):
        assert Position.empty("white").ascii_board(style) == Position.empty("black").ascii_board(style)
    assert Position.empty("white").svg_board() == Position.empty("black").svg_board()


def test_illegal_and_degenerate_moves_are_drawn_without_markers():
    p = Position()
    assert p.is_legal_move("e2-e4") is False
    for move in ("e2-e4", "a1-a1", "e4-e5", "a8-a6"):
        root = ET.fromstring(p.svg_for_move(move))
        assert len(root.findall(SVG_NS + "line")) == 1
        assert [c.get("r") for c in root.findall(SVG_NS + "circle")].count("26") == 2
        assert [c.get("r") for c in root.findall(SVG_NS + "circle")].count("8") == 0


def test_markers_come_from_the_side_to_move():
    p = Position()
    p.apply_move("a1-b3")  # Black to move now
    white_move = ET.fromstring(p.svg_for_move("d1-d3"))
    black_move = ET.fromstring(p.svg_for_move("d8-d6"))
    assert [c.get("r") for c in white_move.iter(SVG_NS + "circle")].count("8") == 0
    markers = [(c.get("cx"), c.get("cy")) for c in black_move.iter(SVG_NS + "circle") if c.get("r") == "8"]
    assert markers == [("224.0", "96.0")] * 3


# --- rendering never changes the position ----------------------------------------------


def observed(p):
    return (p.side_to_move(), p.legal_moves(), [p.piece_at(s) for s in SQUARES], p.supporting_pivots("d1-d3"))


@pytest.mark.parametrize(
    "call",
    [
        lambda p: p.ascii_board(),
        lambda p: p.ascii_board("letters"),
        lambda p: p.ascii_board("nope"),
        lambda p: p.ascii_board(7),
        lambda p: p.svg_board(),
        lambda p: p.svg_for_move("d1-d3"),
        lambda p: p.svg_for_move("h8-a1"),
        lambda p: p.svg_for_move("a9-a1"),
        lambda p: p.svg_for_move(3),
    ],
)
@pytest.mark.parametrize("case", BOARD_CASES, ids=case_id)
def test_rendering_never_changes_the_position(case, call):
    p = case_position(case)
    before = observed(p)
    try:
        call(p)
    except (TypeError, ValueError):
        pass
    assert observed(p) == before


# --- the SVG as an XML document ------------------------------------------------------------


@pytest.mark.parametrize("case", CASES, ids=case_id)
def test_golden_svg_is_a_well_formed_svg_document(case):
    root = ET.fromstring(golden_text(case[0] + ".svg"))
    assert root.tag == SVG_NS + "svg"
    assert root.attrib == {"viewBox": "0 0 512 512", "width": "512", "height": "512"}
    children = list(root)
    assert all(len(child) == 0 and not (child.text or "").strip() for child in children)
    tags = [child.tag[len(SVG_NS) :] for child in children]
    assert tags[:65] == ["rect"] * 65
    assert children[0].attrib == {"width": "100%", "height": "100%", "fill": "#f5e6c8"}

    position = case_position(case)
    pieces = [s for s in SQUARES if position.piece_at(s)]
    radii = [child.get("r") for child in children[65:]]
    if case[3] is None:
        assert radii == ["20"] * len(pieces)
    else:
        pivots = position.supporting_pivots(case[3])
        assert tags[65] == "line"
        assert radii == [None] + ["26", "26"] + ["8"] * len(pivots) + ["20"] * len(pieces)
    # Discs in square order, each where its square is.
    discs = [child for child in children if child.get("r") == "20"]
    for square, disc in zip(pieces, discs):
        file, rank = "abcdefgh".index(square[0]), int(square[1]) - 1
        assert (disc.get("cx"), disc.get("cy")) == (str(64 * file + 32), str(480 - 64 * rank))
        assert disc.get("fill") == ("#fffdf7" if position.piece_at(square) == "white" else "#1f1f1f")


# --- the SVG as a picture ------------------------------------------------------------------


@functools.lru_cache(maxsize=None)
def raster_of(file_name):
    """The picture that the methods return for a golden case (equal to its file, see above)."""
    (case,) = [c for c in CASES if c[0] + ".svg" == file_name]
    image = rasterise(case_svg(case))
    assert (image.width, image.height) == (512, 512)
    return image


def assert_colour(image, x, y, expected, tolerance=3):
    actual = image.rgb(x, y)
    assert all(abs(a - e) <= tolerance for a, e in zip(actual, expected)), (x, y, actual, expected)


def square_shade(file, rank):
    return LIGHT if (file + rank) % 2 == 0 else DARK


@pytest.mark.parametrize("case", CASES, ids=case_id)
def test_raster_shows_every_square_and_piece(case):
    """Reads the board back from the pixels: each square's corner shows its
    shade, its centre the piece standing there or the shade again."""
    image = raster_of(case[0] + ".svg")
    position = case_position(case)
    touched = set()
    if case[3] is not None:  # squares under the line and rings
        a, b = case[3].split("-")
        fa, ra, fb, rb = "abcdefgh".index(a[0]), int(a[1]) - 1, "abcdefgh".index(b[0]), int(b[1]) - 1
        touched = {(f, r) for f in range(min(fa, fb) - 1, max(fa, fb) + 2) for r in range(min(ra, rb) - 1, max(ra, rb) + 2)}
    for index, square in enumerate(SQUARES):
        file, rank = index % 8, index // 8
        x, y = 64 * file, 448 - 64 * rank
        piece = position.piece_at(square)
        if (file, rank) not in touched:
            assert_colour(image, x + 4, y + 4, square_shade(file, rank))
            assert_colour(image, x + 59, y + 59, square_shade(file, rank))
        if piece or (file, rank) not in touched:
            fill = {"white": WHITE_FILL, "black": BLACK_FILL, None: square_shade(file, rank)}[piece]
            assert_colour(image, x + 32, y + 32, fill)


def stacked_markers(count, under):
    colour = under
    for _ in range(count):
        colour = over(PIVOT_BLUE, 0.9, colour)
    return colour


LINE_ON_LIGHT = over(MOVE_RED, 0.75, LIGHT)
LINE_ON_DARK = over(MOVE_RED, 0.75, DARK)

PIXELS = [
    # file, x, y, colour, what the pixel shows
    ("empty.svg", 224, 288, LIGHT, "light square d4"),
    ("empty.svg", 288, 288, DARK, "dark square e4"),
    ("empty.svg", 2, 509, LIGHT, "a1 is light"),
    ("empty.svg", 509, 2, LIGHT, "h8 is light"),
    ("initial.svg", 32, 480, WHITE_FILL, "White piece on a1"),
    ("initial.svg", 52, 480, hex_rgb("#56452f"), "outline of the White piece on a1"),
    ("initial.svg", 480, 32, BLACK_FILL, "Black piece on h8"),
    ("initial.svg", 500, 32, hex_rgb("#f2eadb"), "outline of the Black piece on h8"),
    ("initial_e2-e4.svg", 288, 352, LINE_ON_LIGHT, "move line across e3"),
    ("initial_e2-e4.svg", 288, 300, LINE_ON_DARK, "move line across e4, inside its ring"),
    ("initial_e2-e4.svg", 300, 352, LIGHT, "beside the move line on e3"),
    ("initial_e2-e4.svg", 314, 288, MOVE_RED, "ring at e4"),
    ("initial_e2-e4.svg", 262, 416, MOVE_RED, "ring at e2"),
    ("initial_e2-e4.svg", 288, 416, WHITE_FILL, "the piece on e2 covers the line"),
    ("initial_a1-b3.svg", 64, 416, stacked_markers(1, LINE_ON_LIGHT), "pivot marker of a2 and b2, over the line"),
    ("initial_a1-b3.svg", 68, 418, stacked_markers(1, LIGHT), "pivot marker beside the line"),
    ("initial_d1-d3.svg", 224, 416, WHITE_FILL, "the piece on d2 covers its markers"),
    ("initial_d1-d3.svg", 224, 366, LINE_ON_DARK, "move line across d3, inside its ring"),
    ("midgame_e2-f3.svg", 320, 384, stacked_markers(4, LINE_ON_LIGHT), "four markers on one pivot"),
    ("black_to_move_c8-c6.svg", 160, 140, LINE_ON_DARK, "Black's move line across c6"),
    ("black_to_move_c8-c6.svg", 186, 160, MOVE_RED, "ring at c6"),
    ("black_to_move_c8-c6.svg", 160, 96, BLACK_FILL, "the piece on c7 covers its markers"),
]


@pytest.mark.parametrize("file_name, x, y, colour, what", PIXELS, ids=[p[4] for p in PIXELS])
def test_raster_pixel(file_name, x, y, colour, what):
    assert_colour(raster_of(file_name), x, y, colour)


def test_four_markers_differ_from_one():
    # Guards the previous check: stacking is visible at this tolerance.
    one, four = stacked_markers(1, LINE_ON_LIGHT), stacked_markers(4, LINE_ON_LIGHT)
    assert max(abs(a - b) for a, b in zip(one, four)) > 10


# --- the PNG reader itself --------------------------------------------------------------------


def encode_png(width, height, rows, filter_kinds):
    """A minimal RGB encoder that applies the given filter to each row."""

    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else (b if pb <= pc else c)

    raw, previous = bytearray(), bytes(width * 3)
    for row, kind in zip(rows, filter_kinds):
        out = bytearray([kind])
        for i, value in enumerate(row):
            left = row[i - 3] if i >= 3 else 0
            up_left = previous[i - 3] if i >= 3 else 0
            predictor = (0, left, previous[i], (left + previous[i]) // 2, paeth(left, previous[i], up_left))[kind]
            out.append((value - predictor) & 0xFF)
        raw += out
        previous = row

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b"")


def test_png_reader_undoes_every_filter():
    width, height = 7, 10
    rows = [bytes((x * 37 + y * 91 + c * 53) % 256 for x in range(width) for c in range(3)) for y in range(height)]
    image = decode_png(encode_png(width, height, rows, [y % 5 for y in range(height)]))
    assert [bytes(r) for r in image.rows] == rows
    assert image.rgb(6, 9) == tuple(rows[9][18:21])


def test_png_reader_refuses_a_corrupt_chunk():
    data = bytearray(encode_png(1, 1, [b"\x01\x02\x03"], [0]))
    data[20] ^= 1  # inside IHDR
    with pytest.raises(ValueError):
        decode_png(bytes(data))
