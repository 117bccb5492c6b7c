"""The README's Python examples, run as doctests against the installed package.

Every ```python block with a prompt is one test and starts from a clean
namespace, so a reader can paste any block on its own.
"""

import doctest
import re
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[2] / "README.md"
BLOCK = re.compile(r"^```python\n(.*?)^```$", re.S | re.M)


def readme_blocks():
    text = README.read_text(encoding="utf-8")
    blocks = []
    for match in BLOCK.finditer(text):
        if ">>>" in match.group(1):
            line = text.count("\n", 0, match.start()) + 2
            blocks.append(pytest.param(match.group(1), line, id=f"README.md:{line}"))
    return blocks


def test_readme_has_examples():
    assert len(readme_blocks()) >= 5


@pytest.mark.parametrize("source, line", readme_blocks())
def test_readme_example(source, line):
    parser = doctest.DocTestParser()
    test = parser.get_doctest(source, {}, "README.md", str(README), line - 1)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    failures = []
    runner.run(test, out=failures.append)
    assert runner.failures == 0, "".join(failures)
