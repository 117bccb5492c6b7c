#!/usr/bin/env python3
"""Lists the import graph of the tovak package and fails when it breaks the layering.

    tools/import_graph.py [PACKAGE_DIR]      (default: python/tovak)

Each module of the package is printed with the package modules it imports
(at the top, in functions or for type checkers alike: a cycle that only the
type checker sees is still a cycle of the design). Importing ``a.b`` also
runs ``a/__init__.py``; that implicit edge is left out, so that a package
may re-export what its own modules define.

The exit status is 1 when
- modules import each other, directly or round a longer cycle;
- a library module (anything outside ``tovak.cli`` and ``tovak.__main__``)
  imports the command line;
- the data layer (the game record, the dataset and its reader) imports a
  module that plays games.
"""

from __future__ import annotations

import ast
import sys
from pathlib import Path

COMMANDS = ("tovak.cli", "tovak.__main__")
DATA_LAYER = ("tovak.runs.records", "tovak.runs.dataset", "tovak.runs.reader")
RUNNERS = ("tovak.runs.selfplay", "tovak.runs.batched", "tovak.runs.tasks", "tovak.runs.session", "tovak.runs.executors", "tovak.match")


def module_names(root: Path) -> dict[str, Path]:
    """Every module of the package under ``root``, by its dotted name."""
    names = {}
    for path in sorted(root.rglob("*.py")):
        parts = list(path.relative_to(root.parent).with_suffix("").parts)
        if parts[-1] == "__init__":
            parts.pop()
        names[".".join(parts)] = path
    return names


def imports_of(name: str, path: Path, modules: dict[str, Path]) -> set[str]:
    """The package modules that module ``name`` imports."""
    is_package = path.name == "__init__.py"
    found = set()
    for node in ast.walk(ast.parse(path.read_text(encoding="utf-8"), str(path))):
        if isinstance(node, ast.Import):
            targets = [alias.name for alias in node.names]
        elif isinstance(node, ast.ImportFrom):
            base = _absolute(node, name, is_package)
            # "from a import b" imports the module a.b when there is one, else a name of a.
            targets = [f"{base}.{alias.name}" if f"{base}.{alias.name}" in modules else base for alias in node.names]
        else:
            continue
        for target in targets:
            while target and target not in modules:
                target = target.rpartition(".")[0]  # "import a.b.c" of a name c: the module a.b
            if target and target != name:
                found.add(target)
    return found


def _absolute(node: ast.ImportFrom, name: str, is_package: bool) -> str:
    if node.level == 0:
        return node.module or ""
    here = name.split(".") if is_package else name.split(".")[:-1]
    base = here[: len(here) - (node.level - 1)]
    return ".".join(base + ([node.module] if node.module else []))


def cycles(graph: dict[str, set[str]]) -> list[list[str]]:
    """The strongly connected components of more than one module (Tarjan's algorithm)."""
    index: dict[str, int] = {}
    low: dict[str, int] = {}
    stack: list[str] = []
    on_stack: set[str] = set()
    found = []

    def visit(node: str) -> None:
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for target in sorted(graph[node]):
            if target not in index:
                visit(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def within(name: str, prefixes: tuple[str, ...]) -> bool:
    return any(name == prefix or name.startswith(prefix + ".") for prefix in prefixes)


def problems(graph: dict[str, set[str]]) -> list[str]:
    """What is wrong with the graph, one line each."""
    found = [f"import cycle among {', '.join(component)}" for component in cycles(graph)]
    for name, targets in sorted(graph.items()):
        for target in sorted(targets):
            if not within(name, COMMANDS) and within(target, COMMANDS):
                found.append(f"library module {name} imports the command line ({target})")
            if within(name, DATA_LAYER) and within(target, RUNNERS):
                found.append(f"data layer module {name} imports a runner ({target})")
    return found


def main(argv: list[str]) -> int:
    root = Path(argv[1] if len(argv) > 1 else "python/tovak")
    modules = module_names(root)
    graph = {name: imports_of(name, path, modules) for name, path in modules.items()}
    for name in sorted(graph):
        print(f"{name}: {', '.join(sorted(graph[name])) or '-'}")
    found = problems(graph)
    print()
    for line in found:
        print(f"error: {line}")
    edges = sum(len(targets) for targets in graph.values())
    print(f"{len(graph)} modules, {edges} imports, {len(found)} problems")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
