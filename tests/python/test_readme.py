"""The README, the project's front page: its examples run as doctests against
the installed package, and the way it gives to the documentation site is the
one `make docs` builds. (The site's own examples run in the docs suite.)

Every ```python block with a prompt is one test and starts from a clean
namespace, so a reader can paste any block on its own.
"""

import doctest
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
README = ROOT / "README.md"
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
    assert len(readme_blocks()) >= 1


@pytest.mark.parametrize("source, line", readme_blocks())
def test_readme_example(source, line):
    parser = doctest.DocTestParser()
    test = parser.get_doctest(source, {}, "README.md", str(README), line - 1)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    failures = []
    runner.run(test, out=failures.append)
    assert runner.failures == 0, "".join(failures)


def test_readme_keeps_the_two_commands_and_the_way_to_the_site():
    text = README.read_text(encoding="utf-8")
    assert "```sh\nmake demo\nmake test\n```" in text
    (site,) = re.findall(r"^DOCS_HTML := (\S+)$", (ROOT / "Makefile").read_text(), re.M)
    assert "make docs" in text and f"`{site}/index.html`" in text
    assert (ROOT / "docs" / "index.md").exists()
