"""Bad input never crashes and never changes anything.

Every function and method of the module gets wrong argument counts, unknown
and repeated keywords, values of the wrong type, out-of-range integers and
malformed texts (empty, NUL bytes, lone surrogates, non-ASCII letters, a
megabyte long). Each call must raise the documented exception, with the
fixed message where there is one, and leave every position as it was.
"""

import math
import pytest

import tovak_python
from tovak_python import Position
from reliability_support import (
    ALL_MOVES,
    COLOR_MESSAGE,
    SQUARES,
    color_error,
    move_error,
    sample_positions,
    snapshot,
    square_error,
    style_error,
    utf8,
)

# --- the surface -------------------------------------------------------------

# name -> (how it is reached, its parameters). "style" is optional.
SURFACE = {
    "Position": ("class", []),
    "initial": ("static", []),
    "empty": ("static", ["side_to_move"]),
    "initial_position": ("module", []),
    "parse_move_string": ("module", ["mv"]),
    "copy": ("method", []),
    "side_to_move": ("method", []),
    "legal_moves": ("method", []),
    "is_legal_move": ("method", ["mv"]),
    "apply_move": ("method", ["mv"]),
    "piece_at": ("method", ["square"]),
    "set_piece": ("method", ["color", "square"]),
    "clear_square": ("method", ["square"]),
    "piece_count": ("method", ["color"]),
    "ascii_board": ("method", ["style"]),
    "svg_board": ("method", []),
    "svg_for_move": ("method", ["mv"]),
    "best_move": ("method", ["depth"]),
    "analyze": ("method", ["depth"]),
    "analyze_timed": ("method", ["depth", "budget_ms"]),
    "evaluate": ("method", []),
    "outcome": ("method", []),
    "supporting_pivots": ("method", ["mv"]),
}
OPTIONAL = {"style"}
TEXT_PARAMS = {"mv", "square", "color", "side_to_move", "style"}

# A valid value for every parameter, chosen so that a call with one bad
# argument cannot get past conversion into any work that takes long.
GOOD = {"mv": "a1-b3", "square": "e4", "color": "white", "side_to_move": "black", "style": "letters",
        "depth": 1, "budget_ms": 5}

TEXT_ERROR = {"mv": move_error, "square": square_error, "color": color_error, "side_to_move": color_error,
              "style": style_error}
INT_RANGE = {"depth": (0, 255), "budget_ms": (0, 2**64 - 1)}


def resolve(name, position):
    """The ways to reach `name`: static methods both on the class and on an instance."""
    reach, _ = SURFACE[name]
    if reach == "class":
        return [Position]
    if reach == "module":
        return [getattr(tovak_python, name)]
    if reach == "static":
        return [getattr(Position, name), getattr(position, name)]
    return [getattr(position, name)]


# --- hostile values ----------------------------------------------------------

class IndexRaisesTypeError:
    def __index__(self):
        raise TypeError("no index here")


class IndexRaisesOther:
    def __index__(self):
        raise ZeroDivisionError("index blew up")


class IndexReturnsFloat:
    def __index__(self):
        return 1.5


class IndexReturnsStr:
    def __index__(self):
        return "1"


class IndexReturns:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Text(str):
    """A str subclass: a str instance, so it is taken for its characters."""


class LyingText(str):
    """A str subclass whose Python-level methods all claim to be "white"."""

    def lower(self):
        return "white"

    def casefold(self):
        return "white"

    def __eq__(self, other):
        return True

    __hash__ = str.__hash__

    def __str__(self):
        return "white"

    def encode(self, *args, **kwargs):
        return b"white"


MEGABYTE = 1 << 20

# Texts tried for every text parameter; those that are valid for a parameter
# are left out for it (the expected message comes from reliability_support).
BAD_TEXTS = {
    "empty": "",
    "nul": "\x00",
    "nul-after": "e4\x00",
    "nul-inside": "e\x004",
    "nul-in-move": "e2\x00-e4",
    "nul-color": "white\x00",
    "nul-style": "discs\x00",
    "space-before": " e4",
    "space-after": "E4 ",
    "space-move": "e2 -e4",
    "space-color": "white ",
    "tab-style": "\tletters",
    "lone-surrogate": "\ud800",
    "surrogate-in-move": "e2-\udc00e4",
    "surrogate-color": "whit\udfff",
    "e-acute": "\u00e94",
    "fullwidth": "\uff45\uff14",
    "fullwidth-move": "\uff45\uff12-\uff45\uff14",
    "en-dash": "e2\u2013e4",
    "kelvin-black": "blac\u212a",
    "long-s-letters": "letter\u017f",
    "long-s-discs": "di\u017fc\u017f",
    "dotted-I-ascii": "\u0130ascii",
    "cyrillic-e": "whit\u0435",
    "digits-first": "4e",
    "e9": "e9",
    "i4": "i4",
    "e0": "e0",
    "e44": "e44",
    "e2e4": "e2e4",
    "e2": "e2",
    "zz": "zz",
    "dash-end": "e2-",
    "dash-start": "-e4",
    "two-dashes": "e2-e4-",
    "three-parts": "e2-e4-e5",
    "third-part-bad": "e2-e4-zz",
    "second-bad": "e2-z9-a1",
    "only-dash": "-",
    "whites": "whites",
    "letter": "letter",
    "discss": "discss",
    "str-subclass": Text("zz-top"),
    "lying-subclass": LyingText("purple"),
    "mb-letters": "e" * MEGABYTE,
    "mb-dashes": "-" * MEGABYTE,
    "mb-moves": "e2-" * (MEGABYTE // 3),
    "mb-valid-prefix": "white" + "e" * MEGABYTE,
    "mb-non-ascii": "\u00e9" * MEGABYTE,
}

WRONG_TYPES_FOR_TEXT = {
    "none": None,
    "zero": 0,
    "int": 28,
    "negative": -1,
    "huge-int": 2**100,
    "float": 1.5,
    "nan": math.nan,
    "true": True,
    "bytes": b"e4",
    "bytearray": bytearray(b"e4"),
    "memoryview": memoryview(b"e2-e4"),
    "list": ["e4"],
    "tuple": ("e2", "e4"),
    "object": object(),
    "index-raises": IndexRaisesTypeError(),
    "index-float": IndexReturnsFloat(),
    "position": Position.empty("white"),
}

WRONG_TYPES_FOR_INT = {
    "none": None,
    "str": "1",
    "empty-str": "",
    "bytes": b"\x01",
    "float": 1.0,
    "float-frac": 2.5,
    "nan": math.nan,
    "inf": math.inf,
    "complex": 1j,
    "list": [1],
    "object": object(),
    "index-float": IndexReturnsFloat(),
    "index-str": IndexReturnsStr(),
    "index-raises": IndexRaisesTypeError(),
}


def out_of_range_ints(param):
    low, high = INT_RANGE[param]
    return {
        "below": low - 1,
        "above": high + 1,
        "far-below": -(2**200),
        "far-above": 2**200,
        "index-above": IndexReturns(high + 1),
        "index-below": IndexReturns(low - 1),
    }


# --- cases -------------------------------------------------------------------
# A case is (id, name, args, kwargs, exception, message): message is None when
# only the type is fixed, a str when it is fixed exactly, a callable for a
# prefix rule, and a NoUtf8 for texts that cannot be encoded.

class NoUtf8:
    """The rule for a text without a UTF-8 form."""

    def __init__(self, message):
        self.message = message

    def accepts(self, error):
        return isinstance(error, UnicodeEncodeError) or error.args == (self.message,)


def prefixed(param):
    prefix = f"argument '{param}': "
    return lambda text: text.startswith(prefix)


def good_args(params):
    return [GOOD[p] for p in params]


def argument_cases():
    for name, (_, params) in SURFACE.items():
        for i, param in enumerate(params):
            def with_value(value, params=params, i=i):
                args = good_args(params)
                args[i] = value
                return args

            if param in TEXT_PARAMS:
                for vid, value in WRONG_TYPES_FOR_TEXT.items():
                    if value is None and param in OPTIONAL:
                        continue
                    yield (f"{name}-{param}-type-{vid}", name, with_value(value), {}, TypeError, prefixed(param))
                for vid, text in BAD_TEXTS.items():
                    message = TEXT_ERROR[param](text)
                    if message is None:
                        continue
                    if utf8(text) is None:
                        # No UTF-8 form: the fixed message, or the codec's
                        # UnicodeEncodeError (a ValueError too).
                        message = NoUtf8(message)
                    yield (f"{name}-{param}-text-{vid}", name, with_value(text), {}, ValueError, message)
            else:
                for vid, value in WRONG_TYPES_FOR_INT.items():
                    yield (f"{name}-{param}-type-{vid}", name, with_value(value), {}, TypeError, prefixed(param))
                for vid, value in out_of_range_ints(param).items():
                    yield (f"{name}-{param}-range-{vid}", name, with_value(value), {}, OverflowError, None)
                yield (f"{name}-{param}-index-raises-other", name, with_value(IndexRaisesOther()), {},
                       ZeroDivisionError, "index blew up")


def count_cases():
    for name, (_, params) in SURFACE.items():
        required = [p for p in params if p not in OPTIONAL]
        args = good_args(params)
        yield (f"{name}-count-extra", name, args + ["extra"], {}, TypeError, None)
        yield (f"{name}-count-two-extra", name, args + [1, 2], {}, TypeError, None)
        if required:
            yield (f"{name}-count-none", name, [], {}, TypeError, None)
            yield (f"{name}-count-short", name, good_args(required)[:-1], {}, TypeError, None)
        yield (f"{name}-keyword-unknown", name, args, {"bogus": 1}, TypeError, None)
        yield (f"{name}-keyword-case", name, [], {p.upper(): GOOD[p] for p in params} or {"Self": 1},
               TypeError, None)
        if params:
            yield (f"{name}-keyword-repeated", name, args, {params[0]: GOOD[params[0]]}, TypeError, None)
            yield (f"{name}-keyword-and-unknown", name, [], {**{p: GOOD[p] for p in params}, "extra": 0},
                   TypeError, None)


def ordering_cases():
    # Every argument is converted before any text is interpreted, in order.
    yield ("set_piece-bad-color-and-square-text", "set_piece", ["purple", "z9"], {}, ValueError, COLOR_MESSAGE)
    yield ("set_piece-bad-color-text-square-type", "set_piece", ["purple", 5], {}, TypeError, prefixed("square"))
    yield ("set_piece-color-type-square-text", "set_piece", [5, "z9"], {}, TypeError, prefixed("color"))
    yield ("set_piece-good-color-bad-square", "set_piece", ["white", "z9"], {}, ValueError, "invalid square")
    yield ("set_piece-keywords-bad-both", "set_piece", [], {"square": "z9", "color": "purple"}, ValueError,
           COLOR_MESSAGE)
    yield ("analyze_timed-depth-type-budget-range", "analyze_timed", ["x", -1], {}, TypeError, prefixed("depth"))
    yield ("analyze_timed-depth-range-budget-type", "analyze_timed", [256, "x"], {}, OverflowError, None)
    yield ("analyze_timed-good-depth-budget-type", "analyze_timed", [1, 1.5], {}, TypeError,
           prefixed("budget_ms"))
    yield ("analyze_timed-keywords-reversed", "analyze_timed", [], {"budget_ms": "x", "depth": 300},
           OverflowError, None)


ALL_CASES = list(argument_cases()) + list(count_cases()) + list(ordering_cases())


def check_raises(func, args, kwargs, exception, message):
    with pytest.raises(exception) as info:
        func(*args, **kwargs)
    if isinstance(message, str):
        assert info.value.args == (message,)
    elif isinstance(message, NoUtf8):
        assert message.accepts(info.value), repr(info.value)
    elif callable(message):
        assert message(str(info.value)), str(info.value)
    return info.value


@pytest.mark.parametrize("case_id, name, args, kwargs, exception, message", ALL_CASES,
                         ids=[c[0] for c in ALL_CASES])
def test_bad_call_raises_and_changes_nothing(case_id, name, args, kwargs, exception, message):
    positions = sample_positions()
    before = [snapshot(p) for p in positions]
    for p in positions:
        for func in resolve(name, p):
            check_raises(func, args, kwargs, exception, message)
    assert [snapshot(p) for p in positions] == before


METHODS = [name for name, (reach, _) in SURFACE.items() if reach == "method"]


@pytest.mark.parametrize("receiver", [None, 3, "e2-e4", object(), tovak_python, Position],
                         ids=["none", "int", "str", "object", "module", "class"])
@pytest.mark.parametrize("name", METHODS)
def test_method_called_on_a_non_position_raises_type_error(name, receiver):
    unbound = getattr(Position, name)
    with pytest.raises(TypeError):
        unbound(receiver, *good_args(SURFACE[name][1]))


@pytest.mark.parametrize("name", METHODS)
def test_method_called_on_the_class_without_receiver_raises_type_error(name):
    with pytest.raises(TypeError):
        getattr(Position, name)()


def test_keyword_that_is_not_a_string_raises_type_error():
    p = Position()
    with pytest.raises(TypeError):
        p.piece_at(**{1: "e4"})
    with pytest.raises(TypeError):
        tovak_python.parse_move_string(**{b"mv": "e2-e4"})


@pytest.mark.parametrize("position_index", range(len(sample_positions())))
def test_every_illegal_move_is_refused_with_its_reason(position_index):
    """apply_move over all 4096 from/to pairs: the legal ones are the listed
    ones, every other raises the first failing rule's message, unchanged."""
    p = sample_positions()[position_index]
    before = snapshot(p)
    listed = set(p.legal_moves())
    side = p.side_to_move()
    for mv in ALL_MOVES:
        if mv in listed:
            continue
        origin, target = mv.split("-")
        if origin == target:
            reason = "start and destination must differ"
        elif p.piece_at(origin) != side:
            reason = "origin square is empty" if p.piece_at(origin) is None else \
                "piece does not belong to player to move"
        elif p.piece_at(target) == side:
            reason = "destination is occupied by a friendly piece"
        else:
            reason = "no supporting pivot exists for this move"
        with pytest.raises(ValueError) as info:
            p.apply_move(mv)
        assert info.value.args == (reason,), mv
        assert p.is_legal_move(mv) is False
    assert snapshot(p) == before


# --- hostile values that are valid -------------------------------------------

@pytest.mark.parametrize("make", [Text, LyingText], ids=["subclass", "lying-subclass"])
def test_str_subclass_is_read_by_its_characters(make):
    p = Position()
    assert p.piece_at(make("A8")) == "black"
    assert p.piece_count(make("b")) == 16
    assert tovak_python.parse_move_string(make("E2-E4")) == "e2-e4"
    assert Position.empty(make("BLACK")).side_to_move() == "black"
    assert p.ascii_board(make("ASCII")) == p.ascii_board("letters")
    p.apply_move(make("a1-b3"))
    assert p.piece_at("b3") == "white"


@pytest.mark.parametrize("depth", [True, IndexReturns(1)], ids=["bool", "index"])
def test_integer_like_depth_is_accepted(depth):
    p = Position()
    assert p.analyze(depth) == p.analyze(1)


@pytest.mark.parametrize("budget", [2**64 - 1, IndexReturns(2**64 - 1)], ids=["max", "index-max"])
def test_largest_budget_is_accepted(budget):
    result = Position().analyze_timed(1, budget)
    assert result["completed_depth"] == 1 and result["timed_out"] is False


@pytest.mark.parametrize("name", ["\ud800", "m" * MEGABYTE, "mv\x00", "\u00e9"], ids=["surrogate", "mb", "nul",
                                                                                       "e-acute"])
def test_odd_keyword_names_are_refused(name):
    p = Position()
    before = snapshot(p)
    with pytest.raises(TypeError):
        p.apply_move(**{name: "a1-b3"})
    with pytest.raises(TypeError):
        tovak_python.parse_move_string(**{name: "a1-b3"})
    assert snapshot(p) == before


def test_keyword_given_as_a_str_subclass_is_matched_by_its_characters():
    p = Position()
    p.apply_move(**{Text("mv"): "a1-b3"})
    assert p.side_to_move() == "black"


@pytest.mark.parametrize("attempt, exception", [
    (lambda: object.__new__(Position), TypeError),
    (lambda: Position.__new__(int), TypeError),
    (lambda: Position.__new__(), TypeError),
    (lambda: type("Sub", (Position,), {}), TypeError),
    (lambda: __import__("pickle").dumps(Position()), TypeError),
    (lambda: __import__("copy").copy(Position()), TypeError),
    (lambda: __import__("copy").deepcopy(Position()), TypeError),
    (lambda: setattr(Position(), "extra", 1), AttributeError),
    (lambda: setattr(Position, "legal_moves", None), TypeError),
    (lambda: delattr(Position, "copy"), TypeError),
    (lambda: __import__("weakref").ref(Position()), TypeError),
], ids=["object-new", "new-other-type", "new-no-type", "subclass", "pickle", "copy", "deepcopy", "attribute",
        "class-attribute", "class-delete", "weakref"])
def test_ways_around_the_class_are_refused(attempt, exception):
    with pytest.raises(exception):
        attempt()
    assert Position().legal_moves()[0] == "a1-b3"


class EditsDuringConversion:
    """An index whose conversion, running inside an analysis call, tries to
    change the very position being analysed."""

    def __init__(self, position, recorded):
        self.position = position
        self.recorded = recorded

    def __index__(self):
        try:
            self.position.apply_move("a1-b3")
        except RuntimeError as error:
            self.recorded.append(error.args)
        self.recorded.append(self.position.legal_moves()[0])  # reading beside a reader is fine
        return 1


@pytest.mark.parametrize("method", ["best_move", "analyze", "analyze_timed"])
def test_edit_from_inside_a_call_on_the_same_position_is_refused(method):
    p = Position()
    recorded = []
    hostile = EditsDuringConversion(p, recorded)
    args = [hostile] if method != "analyze_timed" else [1, hostile]
    result = getattr(p, method)(*args)
    assert recorded == [("Already borrowed",), "a1-b3"]
    assert p.side_to_move() == "white" and p.piece_at("a1") == "white"
    # The analysis ran on the position as it was, and a later edit is free again.
    expected = getattr(Position(), method)(*[1] * len(args))
    if method == "analyze_timed":
        result, expected = result["best_move"], expected["best_move"]
    assert result == expected
    p.apply_move("a1-b3")
