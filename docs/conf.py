"""Sphinx settings of the documentation site (make docs)."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent / "_ext"))

from tovak._version import __version__  # noqa: E402 - the installed package

project = "tovak"
author = "the tovak developers"
copyright = "the tovak developers"
version = release = __version__

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "sphinx.ext.doctest",
    "tovak_api",
    "tovak_cli_reference",
    "tovak_doctest_blocks",
    "tovak_stub_reference",
]

source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build", "requirements.txt"]
templates_path: list[str] = []

html_theme = "furo"
html_title = f"tovak {__version__}"
html_static_path: list[str] = []

myst_enable_extensions = ["colon_fence"]
myst_heading_anchors = 3

autodoc_member_order = "bysource"
autodoc_typehints = "signature"

# Examples compare exception texts too: a changed message is a failed example.
import doctest  # noqa: E402

doctest_default_flags = doctest.ELLIPSIS | doctest.DONT_ACCEPT_TRUE_FOR_1
doctest_test_doctest_blocks = "default"


# Option names and texts are shown as typed: "--depth", not an en dash.
smartquotes = False
