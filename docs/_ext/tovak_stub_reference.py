"""The reference of the extension module, generated from its type stub.

The module itself carries no docstrings; its stub does, and is the source of
this page: ``.. stub-reference:: PATH`` reads the stub and writes the module's
classes, methods and functions (in the stub's order, with its signatures and
docstrings) and the result types for type checkers. A name of the stub's
``__all__``, a method or a result type without a docstring is a warning, so
the build fails.
"""

from __future__ import annotations

import ast
import inspect
from pathlib import Path
from typing import Any

from docutils import nodes
from docutils.statemachine import StringList
from sphinx.application import Sphinx
from sphinx.util import logging
from sphinx.util.docutils import SphinxDirective
from sphinx.util.nodes import nested_parse_with_titles

logger = logging.getLogger(__name__)


def private_aliases(tree: ast.Module) -> dict[str, str]:
    """``_Name = ...`` aliases, written out where they are used (they are not part of the surface)."""
    return {
        statement.targets[0].id: ast.unparse(statement.value)
        for statement in tree.body
        if isinstance(statement, ast.Assign)
        and len(statement.targets) == 1
        and isinstance(statement.targets[0], ast.Name)
        and statement.targets[0].id.startswith("_")
    }


def annotation(node: ast.expr | None, aliases: dict[str, str]) -> str:
    text = ast.unparse(node) if node is not None else ""
    for alias, value in aliases.items():
        text = text.replace(alias, value)
    return text


def signature(function: ast.FunctionDef, aliases: dict[str, str]) -> str:
    parts = []
    args = function.args.args
    defaults = [None] * (len(args) - len(function.args.defaults)) + list(function.args.defaults)
    for arg, default in zip(args, defaults):
        if arg.arg in ("self", "cls"):
            continue
        part = arg.arg
        if arg.annotation is not None:
            part += f": {annotation(arg.annotation, aliases)}"
        if default is not None:
            part += f" = {ast.unparse(default)}"
        parts.append(part)
    returns = f" -> {annotation(function.returns, aliases)}" if function.returns is not None else ""
    return f"({', '.join(parts)}){returns}"


def decorators(node: ast.FunctionDef | ast.ClassDef) -> set[str]:
    return {ast.unparse(d) for d in node.decorator_list}


def body_lines(doc: str | None, indent: str) -> list[str]:
    return [indent + line if line else "" for line in inspect.cleandoc(doc or "").splitlines()] + [""]


class StubReference(SphinxDirective):
    required_arguments = 1
    has_content = False

    def run(self) -> list[nodes.Node]:
        path = Path(self.env.relfn2path(self.arguments[0])[1]).resolve()
        self.env.note_dependency(str(path))
        tree = ast.parse(path.read_text(encoding="utf-8"))
        lines = self.module_lines(tree, path.stem)
        content = StringList(lines, source=str(path))
        container = nodes.section()
        nested_parse_with_titles(self.state, content, container)
        return container.children

    def missing(self, what: str) -> None:
        logger.warning("no docstring in the stub: %s", what, location=self.get_location(),
                       type="tovak", subtype="undocumented")

    def module_lines(self, tree: ast.Module, module: str) -> list[str]:
        aliases = private_aliases(tree)
        exported = next(
            (ast.literal_eval(s.value) for s in tree.body
             if isinstance(s, ast.Assign) and any(isinstance(t, ast.Name) and t.id == "__all__" for t in s.targets)),
            [],
        )
        definitions = {s.name: s for s in tree.body if isinstance(s, (ast.FunctionDef, ast.ClassDef))}
        for name in exported:
            if name not in definitions:
                logger.warning("%s is in the stub's __all__ but not defined there", name, location=self.get_location())
        lines = [f".. py:module:: {module}", ""]
        checker_only = []
        for name, node in definitions.items():
            if name.startswith("_"):
                continue
            if "type_check_only" in decorators(node):
                checker_only.append(node)
            elif isinstance(node, ast.ClassDef):
                lines += self.class_lines(node, aliases)
            else:
                lines += self.function_lines(node, aliases, "", "function")
        if checker_only:
            lines += ["Result types", "------------", "",
                      "These exist only for type checkers: import them under ``if TYPE_CHECKING:``.", ""]
            for node in checker_only:
                lines += self.typed_dict_lines(node, aliases)
        return lines

    def class_lines(self, node: ast.ClassDef, aliases: dict[str, str]) -> list[str]:
        doc = ast.get_docstring(node)
        if not doc:
            self.missing(node.name)
        methods = [f for f in node.body if isinstance(f, ast.FunctionDef)]
        constructor = next((f for f in methods if f.name in ("__new__", "__init__")), None)
        shown = signature(constructor, aliases).split(" -> ")[0] if constructor else ""
        lines = [f".. py:class:: {node.name}{shown}"]
        if "final" in decorators(node):
            lines.append("   :final:")
        lines += [""] + body_lines(doc, "   ")
        if constructor is not None and ast.get_docstring(constructor):
            lines += body_lines(ast.get_docstring(constructor), "   ")
        elif constructor is not None:
            self.missing(f"{node.name}.{constructor.name}")
        for method in methods:
            if method.name.startswith("_"):
                continue
            kind = "staticmethod" if "staticmethod" in decorators(method) else "method"
            lines += self.function_lines(method, aliases, "   ", kind, owner=node.name)
        return lines

    def function_lines(self, node: ast.FunctionDef, aliases: dict[str, str], indent: str, kind: str,
                       owner: str = "") -> list[str]:
        doc = ast.get_docstring(node)
        if not doc:
            self.missing(f"{owner}.{node.name}" if owner else node.name)
        directive = "method" if kind == "staticmethod" else kind
        lines = [f"{indent}.. py:{directive}:: {node.name}{signature(node, aliases)}"]
        if kind == "staticmethod":
            lines.append(f"{indent}   :staticmethod:")
        return lines + [""] + body_lines(doc, indent + "   ")

    def typed_dict_lines(self, node: ast.ClassDef, aliases: dict[str, str]) -> list[str]:
        doc = ast.get_docstring(node)
        if not doc:
            self.missing(node.name)
        lines = [f".. py:class:: {node.name}", ""] + body_lines(doc, "   ")
        for item in node.body:
            if isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name):
                lines += [f"   .. py:attribute:: {item.target.id}",
                          f"      :type: {annotation(item.annotation, aliases)}", ""]
        return lines


def setup(app: Sphinx) -> dict[str, Any]:
    app.add_directive("stub-reference", StubReference)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
