"""The shipped type stub: installed where tools look, and precise enough to
catch mistakes. (stubtest checks it against the built module in `make test`.)"""

import ast
from pathlib import Path

import pytest
import tovak_python
from mypy import api as mypy_api
from tovak_python import Position

SOURCE_STUB = Path(__file__).resolve().parents[2] / "src" / "python" / "tovak_python.pyi"
MODULE_DIR = Path(tovak_python.__file__).parent


@pytest.mark.parametrize("installed", ["tovak_python.pyi", "tovak_python-stubs/__init__.pyi"])
def test_stub_is_installed_next_to_the_module(installed):
    assert (MODULE_DIR / installed).read_text() == SOURCE_STUB.read_text()


def implied_text_signature(function):
    """The text signature the module must report for a stub's `def`: its
    parameters in order, `self` as `$self`, `cls` of `__new__` left out,
    defaults as written."""
    args = function.args
    assert not (args.posonlyargs or args.vararg or args.kwonlyargs or args.kwarg), function.name
    defaults = [None] * (len(args.args) - len(args.defaults)) + args.defaults
    parts = []
    for arg, default in zip(args.args, defaults):
        if arg.arg == "cls":
            continue
        name = "$self" if arg.arg == "self" else arg.arg
        parts.append(name if default is None else f"{name}={ast.unparse(default)}")
    return "(" + ", ".join(parts) + ")"


def is_static(function):
    return any(isinstance(d, ast.Name) and d.id == "staticmethod" for d in function.decorator_list)


def stub_definitions():
    """The stub's Position methods and module functions, in stub order:
    name -> (implied text signature, static)."""
    tree = ast.parse(SOURCE_STUB.read_text())
    (position,) = [node for node in tree.body if isinstance(node, ast.ClassDef) and node.name == "Position"]
    methods = {f.name: (implied_text_signature(f), is_static(f))
               for f in position.body if isinstance(f, ast.FunctionDef)}
    functions = {f.name: (implied_text_signature(f), False) for f in tree.body if isinstance(f, ast.FunctionDef)}
    return methods, functions


def test_stub_signatures_are_those_the_module_reports():
    """Parameter names, order and defaults, static or not, and the order of
    the methods: the stub and the module's method table say the same."""
    stub_methods, stub_functions = stub_definitions()
    module_methods = {"__new__": (Position.__text_signature__, False)}
    for name, attribute in vars(Position).items():
        if not name.startswith("__"):
            module_methods[name] = (getattr(Position, name).__text_signature__, isinstance(attribute, staticmethod))
    assert list(stub_methods.items()) == list(module_methods.items())
    module_functions = {name: (getattr(tovak_python, name).__text_signature__, False)
                        for name in tovak_python.__all__ if name != "Position"}
    assert stub_functions == module_functions


PRELUDE = "from tovak_python import Position\np = Position()\n"

REVEALED = [
    ("p.side_to_move()", "Literal['white'] | Literal['black']"),
    ("p.outcome()", "Literal['white'] | Literal['black'] | None"),
    ("p.piece_at('a1')", "Literal['white'] | Literal['black'] | None"),
    ("p.analyze_timed(2, 100)['best_move']", "str | None"),
    ("p.analyze_timed(2, 100)['timed_out']", "bool"),
    ("p.analyze_timed(2, 100)['principal_variation']", "list[str]"),
    ("p.supporting_pivots('d1-d3')[0]['center_square']", "str | None"),
    ("p.supporting_pivots('d1-d3')[0]['supports']", "list[str]"),
]

MISTAKES = [
    "p.analyze_timed(2, 100)['nodez']",
    "p.supporting_pivots('d1-d3')[0]['pivot']",
    "p.analyze(2)['score']",  # analyze may return None
    "p.best_move('3')",
    "p.analyze_timed(2, 1.5)",
    "Position.empty(0)",
    "p.apply_move('a1-b3').upper()",
    "Position('w')",
    "class Mine(Position): pass",
]


def mypy_lines(tmp_path, lines):
    """mypy --strict on the prelude plus ``lines``; its messages per snippet line."""
    path = tmp_path / "snippet.py"
    path.write_text(PRELUDE + "\n".join(lines) + "\n")
    stdout, _, _ = mypy_api.run(["--strict", "--no-incremental", str(path)])
    first = PRELUDE.count("\n") + 1
    messages = {index: [] for index in range(len(lines))}
    for message in stdout.splitlines():
        parts = message.split(":", 2)
        if len(parts) == 3 and parts[1].isdigit():
            messages[int(parts[1]) - first].append(parts[2].strip())
    return messages


def test_precise_result_types(tmp_path):
    messages = mypy_lines(tmp_path, [f"reveal_type({code})" for code, _ in REVEALED])
    for index, (code, expected) in enumerate(REVEALED):
        assert [same_literals(m) for m in messages[index]] == [
            f'note: Revealed type is "{same_literals(expected)}"'
        ], code


def same_literals(text):
    # mypy versions differ in how they print a union of literals.
    return text.replace("Literal['white'] | Literal['black']", "Literal['white', 'black']")


def test_mistakes_are_type_errors(tmp_path):
    messages = mypy_lines(tmp_path, MISTAKES)
    for index, code in enumerate(MISTAKES):
        assert any(m.startswith("error:") for m in messages[index]), code
