"""tools/import_graph.py: the package's layering holds, and the check sees each way of breaking it."""

import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
TOOL = ROOT / "tools" / "import_graph.py"


def import_graph(package):
    return subprocess.run([sys.executable, str(TOOL), str(package)], capture_output=True, text=True, timeout=60)


def write_package(root, files):
    for name, text in files.items():
        path = root / "tovak" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return root / "tovak"


def test_the_package_has_no_cycle_and_keeps_its_layers():
    run = import_graph(ROOT / "python" / "tovak")
    assert run.returncode == 0, run.stdout
    assert "tovak.cli.selfplay: " in run.stdout and run.stdout.rstrip().endswith("0 problems")


@pytest.mark.parametrize(
    "files, problem",
    [
        (
            {"a.py": "from tovak.b import x\n", "b.py": "def f():\n    from tovak import c\n", "c.py": "import tovak.a\n"},
            "import cycle among tovak.a, tovak.b, tovak.c",
        ),
        (
            {"runs/__init__.py": "", "runs/records.py": "from tovak.runs.session import run\n", "runs/session.py": ""},
            "data layer module tovak.runs.records imports a runner (tovak.runs.session)",
        ),
        (
            {"cli/__init__.py": "", "cli/args.py": "", "game.py": "from tovak.cli.args import CommandError\n"},
            "library module tovak.game imports the command line (tovak.cli.args)",
        ),
        (
            {"match/__init__.py": "", "match/runner.py": "from . import result\n", "match/result.py": (
                "from typing import TYPE_CHECKING\nif TYPE_CHECKING:\n    from tovak.match.runner import Game\n")},
            "import cycle among tovak.match.result, tovak.match.runner",
        ),
    ],
    ids=["cycle through a function", "data layer", "command line", "relative and type-checking"],
)
def test_each_broken_rule_fails_the_check(tmp_path, files, problem):
    package = write_package(tmp_path, {"__init__.py": "", **files})
    run = import_graph(package)
    assert run.returncode == 1
    assert f"error: {problem}\n" in run.stdout


def test_a_package_may_reexport_what_its_modules_define(tmp_path):
    package = write_package(tmp_path, {
        "__init__.py": "",
        "replay/__init__.py": "from tovak.replay.page import page\n",
        "replay/page.py": "from tovak.replay._chart import chart\n",
        "replay/_chart.py": "",
    })
    run = import_graph(package)
    assert run.returncode == 0, run.stdout
    assert "tovak.replay: tovak.replay.page\n" in run.stdout
