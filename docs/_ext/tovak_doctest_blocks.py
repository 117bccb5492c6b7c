"""Every example on the site runs on its own: each doctest block (a
``doctest`` directive without a group, or a ``>>>`` block of a docstring) is
given a group of its own, so it starts from a clean namespace and a reader can
paste any block alone. A block that needs a name from an earlier one fails."""

from __future__ import annotations

from typing import Any

from docutils import nodes
from sphinx.application import Sphinx


def separate_blocks(app: Sphinx, doctree: nodes.document) -> None:
    docname = app.env.docname
    count = 0
    for node in doctree.findall(nodes.Element):
        is_doctest_directive = node.get("testnodetype") == "doctest" and node.get("groups") == ["default"]
        is_docstring_block = isinstance(node, nodes.doctest_block) and "groups" not in node
        if is_doctest_directive or is_docstring_block:
            count += 1
            node["groups"] = [f"{docname}:{count}"]


def setup(app: Sphinx) -> dict[str, Any]:
    app.connect("doctree-read", separate_blocks)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
