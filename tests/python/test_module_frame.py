"""The module frame: what importing gives, the class's properties, its method
table and signatures, and the shared library's exported symbols."""

import importlib
import inspect
import shutil
import subprocess
import sys
import warnings

import pytest

import tovak_python
from tovak_python import Position

RULES = ["initial", "empty", "copy", "side_to_move", "legal_moves", "is_legal_move", "apply_move", "piece_at",
         "set_piece", "clear_square", "piece_count"]
RENDERING = ["ascii_board", "svg_board", "svg_for_move"]
ANALYSIS = ["best_move", "analyze", "analyze_timed", "evaluate"]
LAST = ["outcome", "supporting_pivots"]
METHOD_TABLE = RULES + RENDERING + ANALYSIS + LAST

SIGNATURES = {
    "initial": "()", "empty": "(side_to_move)", "copy": "($self)", "side_to_move": "($self)",
    "legal_moves": "($self)", "is_legal_move": "($self, mv)", "apply_move": "($self, mv)",
    "piece_at": "($self, square)", "set_piece": "($self, color, square)", "clear_square": "($self, square)",
    "piece_count": "($self, color)", "ascii_board": "($self, style=None)", "svg_board": "($self)",
    "svg_for_move": "($self, mv)", "best_move": "($self, depth)", "analyze": "($self, depth)",
    "analyze_timed": "($self, depth, budget_ms)", "evaluate": "($self)", "outcome": "($self)",
    "supporting_pivots": "($self, mv)",
}

IMMUTABLE_TYPE = 1 << 8
BASE_TYPE = 1 << 10


def test_module_docstring_is_empty():
    assert tovak_python.__doc__ == ""


def test_all_lists_the_three_names_in_order_of_addition():
    assert tovak_python.__all__ == ["Position", "parse_move_string", "initial_position"]
    added = [n for n in vars(tovak_python) if n in tovak_python.__all__]
    assert added == tovak_python.__all__


@pytest.mark.parametrize("function, text_signature", [
    (tovak_python.parse_move_string, "(mv)"),
    (tovak_python.initial_position, "()"),
])
def test_module_functions_have_signatures_and_no_docstring(function, text_signature):
    assert function.__text_signature__ == text_signature
    assert function.__doc__ is None
    assert str(inspect.signature(function)) == text_signature
    assert function.__module__ == "tovak_python"


def test_class_reports_builtins_and_its_plain_name():
    assert Position.__module__ == "builtins"
    assert Position.__name__ == Position.__qualname__ == "Position"
    assert Position.__doc__ is None
    assert Position.__text_signature__ == "()"
    assert str(inspect.signature(Position)) == "()"
    assert Position.__bases__ == (object,)


def test_class_is_final_and_immutable_and_instances_are_bare():
    assert Position.__flags__ & IMMUTABLE_TYPE
    assert not Position.__flags__ & BASE_TYPE
    with pytest.raises(TypeError):
        type("Derived", (Position,), {})
    with pytest.raises(TypeError):
        Position.copy = None
    p = Position()
    assert not hasattr(p, "__dict__")
    assert "__weakref__" not in dir(Position)
    with pytest.raises(AttributeError):
        p.note = 1


def test_identity_semantics_are_the_defaults():
    assert Position.__eq__ is object.__eq__
    assert Position.__hash__ is object.__hash__
    assert Position.__repr__ is object.__repr__
    p = Position()
    assert p != p.copy() and p == p
    assert repr(p).startswith("<Position object at 0x")
    assert repr(Position) == "<class 'Position'>"


def test_methods_are_registered_in_table_order():
    methods = [n for n in Position.__dict__ if not n.startswith("__")]
    assert methods == METHOD_TABLE
    assert len(methods) == 20


@pytest.mark.parametrize("name", METHOD_TABLE)
def test_every_method_has_its_signature_and_no_docstring(name):
    method = getattr(Position, name)
    assert method.__text_signature__ == SIGNATURES[name]
    assert method.__doc__ is None
    # Every parameter is positional-or-keyword.
    kinds = {p.kind for p in inspect.signature(getattr(Position(), name)).parameters.values()}
    assert kinds <= {inspect.Parameter.POSITIONAL_OR_KEYWORD}
    assert isinstance(Position.__dict__[name], staticmethod) == (name in ("initial", "empty"))


def test_static_methods_work_on_the_class_and_on_instances():
    p = Position.empty("b")
    assert p.initial().side_to_move() == "white"
    assert p.empty("w").side_to_move() == "white"


def test_module_exports_only_its_init_function():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    out = subprocess.run([nm, "-D", "--defined-only", tovak_python.__file__], capture_output=True, text=True,
                         check=True).stdout
    assert [line.split()[-1] for line in out.splitlines() if line.strip()] == ["PyInit_tovak_python"]


def test_import_in_a_fresh_interpreter_warns_nothing():
    run = subprocess.run([sys.executable, "-X", "dev", "-W", "error", "-c",
                          "import tovak_python; print(tovak_python.Position.__module__)"],
                         capture_output=True, text=True)
    assert (run.returncode, run.stdout, run.stderr) == (0, "builtins\n", "")


def test_import_again_gives_a_new_module_around_the_same_class():
    original = sys.modules.pop("tovak_python")
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            again = importlib.import_module("tovak_python")
        assert again is not original
        assert again.Position is original.Position
        assert again.__all__ == ["Position", "parse_move_string", "initial_position"]
        assert again.initial_position().legal_moves() == original.initial_position().legal_moves()
    finally:
        sys.modules["tovak_python"] = original
