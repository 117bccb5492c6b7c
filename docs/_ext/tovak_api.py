"""The package's API reference, generated from its code, and the rule that
every public name is documented.

The public modules are those of the ``tovak`` package whose dotted names have
no part starting with ``_``; a module's public names are its ``__all__`` (or,
without one, the functions and classes it defines). Each public name is
documented once, in its home: the module that defines it, when that module
lists it, else the first public module that does. Every other module listing
it shows a link, and a reference through that module's path (``tovak.Game``
for ``tovak.game.Game``) resolves to the home.

A public module, name, method or property without a docstring (a constant
or a type alias without the string that follows its assignment) is a warning,
so the build, which turns warnings into errors, fails.
"""

from __future__ import annotations

import ast
import dataclasses
import importlib
import inspect
import pkgutil
import sys
import types
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from docutils import nodes
from sphinx.application import Sphinx
from sphinx.pycode import ModuleAnalyzer
from sphinx.util import logging

logger = logging.getLogger(__name__)

PACKAGE = "tovak"
STUB_MODULE = "tovak_python"
GENERATED = Path("reference") / "api" / "generated"

# Libraries outside this project whose names appear in signatures. Their
# references are left unresolved (the site does not hold their documentation);
# every reference to this project's names must resolve.
EXTERNAL_LIBRARIES = {"pyarrow", "numpy", "pettingzoo", "gymnasium", "distributed", "dask", "tqdm", "starlette", "uvicorn"}


@dataclass
class PublicName:
    module: str
    name: str
    value: Any
    home: str = ""


@dataclass
class Api:
    modules: dict[str, types.ModuleType] = field(default_factory=dict)
    names: dict[str, list[PublicName]] = field(default_factory=dict)
    aliases: dict[str, str] = field(default_factory=dict)


def public_module_names() -> list[str]:
    package = importlib.import_module(PACKAGE)
    names = [PACKAGE]
    for info in pkgutil.walk_packages(package.__path__, PACKAGE + "."):
        if not any(part.startswith("_") for part in info.name.split(".")):
            names.append(info.name)
    return sorted(names)


def declared_names(module: types.ModuleType) -> list[str]:
    if hasattr(module, "__all__"):
        return list(module.__all__)
    return [
        name
        for name, value in vars(module).items()
        if not name.startswith("_")
        and (inspect.isfunction(value) or inspect.isclass(value))
        and value.__module__ == module.__name__
    ]


def assigned_at_top(module_name: str) -> set[str]:
    """The names a module's source assigns at its top level."""
    source = inspect.getsource(sys.modules[module_name])
    names: set[str] = set()
    for statement in ast.parse(source).body:
        targets = []
        if isinstance(statement, ast.Assign):
            targets = statement.targets
        elif isinstance(statement, ast.AnnAssign):
            targets = [statement.target]
        elif isinstance(statement, ast.TypeAlias):
            targets = [statement.name]
        names.update(target.id for target in targets if isinstance(target, ast.Name))
    return names


def collect_api() -> Api:
    api = Api()
    for module_name in public_module_names():
        module = importlib.import_module(module_name)
        api.modules[module_name] = module
        api.names[module_name] = [PublicName(module_name, name, getattr(module, name)) for name in declared_names(module)]
    for entries in api.names.values():
        for entry in entries:
            entry.home = _home(api, entry)
            if entry.home != entry.module:
                api.aliases[f"{entry.module}.{entry.name}"] = f"{entry.home}.{entry.name}"
    return api


def _is_data(value: Any) -> bool:
    return not (inspect.isclass(value) or inspect.isfunction(value) or inspect.ismodule(value))


def _home(api: Api, entry: PublicName) -> str:
    if inspect.ismodule(entry.value):
        return entry.value.__name__
    listing = [module for module, entries in api.names.items() if any(e.name == entry.name and e.value is entry.value for e in entries)]
    if not _is_data(entry.value):
        defined_in = entry.value.__module__
        if defined_in in listing:
            return defined_in
    else:
        for module in listing:
            if entry.name in assigned_at_top(module):
                return module
    return listing[0]


# --- the rule: every public name documented -----------------------------------

def undocumented(api: Api) -> list[str]:
    missing = []
    for module_name, module in api.modules.items():
        if not (module.__doc__ or "").strip():
            missing.append(f"module {module_name}")
        attribute_docs = None
        for entry in api.names[module_name]:
            if entry.home != module_name or inspect.ismodule(entry.value):
                continue
            qualified = f"{module_name}.{entry.name}"
            if inspect.isclass(entry.value):
                if not _own_class_doc(entry.value):
                    missing.append(f"class {qualified}")
                missing.extend(f"member {qualified}.{member}" for member in _undocumented_members(entry.value))
            elif inspect.isfunction(entry.value):
                if not (inspect.getdoc(entry.value) or "").strip():
                    missing.append(f"function {qualified}")
            else:
                if attribute_docs is None:
                    attribute_docs = ModuleAnalyzer.for_module(module_name).find_attr_docs()
                documented = "".join(attribute_docs.get(("", entry.name), [])).strip()
                if not documented and not _documented_where_assigned(entry):
                    missing.append(f"data {qualified} (a docstring after its assignment)")
    return missing


def _documented_where_assigned(entry: PublicName) -> bool:
    """Whether an internal module that assigns a re-exported value documents it there."""
    for name, module in list(sys.modules.items()):
        if not name.startswith(f"{PACKAGE}.") or getattr(module, entry.name, None) is not entry.value:
            continue
        if entry.name not in assigned_at_top(name):
            continue
        docs = ModuleAnalyzer.for_module(name).find_attr_docs()
        if "".join(docs.get(("", entry.name), [])).strip():
            return True
    return False


def _own_class_doc(cls: type) -> bool:
    doc = cls.__dict__.get("__doc__")
    if not doc or not doc.strip():
        return False
    # A dataclass without a docstring is given its signature as one.
    return not (dataclasses.is_dataclass(cls) and doc.startswith(cls.__name__ + "("))


def _undocumented_members(cls: type) -> list[str]:
    missing = []
    for name, value in vars(cls).items():
        if name.startswith("_"):
            continue
        if isinstance(value, (staticmethod, classmethod)):
            value = value.__func__
        if inspect.isfunction(value):
            doc = inspect.getdoc(getattr(cls, name))
        elif isinstance(value, property):
            doc = inspect.getdoc(value)
        else:
            continue
        if not (doc or "").strip():
            missing.append(name)
    return missing


# --- the pages ------------------------------------------------------------------

def module_page(api: Api, module_name: str) -> str:
    title = f"``{module_name}``"
    lines = [title, "=" * len(title), "", f".. automodule:: {module_name}", ""]
    elsewhere = []
    for entry in api.names[module_name]:
        qualified = f"{module_name}.{entry.name}"
        if inspect.ismodule(entry.value):
            elsewhere.append(f"- :py:mod:`{entry.value.__name__}`")
        elif entry.home != module_name:
            elsewhere.append(f"- ``{entry.name}``: :py:obj:`{entry.home}.{entry.name}`")
        elif inspect.isclass(entry.value):
            lines += [f".. autoclass:: {qualified}", "   :members:", "   :undoc-members:", ""]
            if issubclass(entry.value, BaseException):
                lines[-4] = f".. autoexception:: {qualified}"
        elif inspect.isfunction(entry.value):
            lines += [f".. autofunction:: {qualified}", ""]
        else:
            lines += [f".. autodata:: {qualified}", ""]
    if elsewhere:
        lines += ["Also here", "---------", "", "Names documented in their own modules, importable from this one:", ""]
        lines += elsewhere + [""]
    return "\n".join(lines)


def write_pages(app: Sphinx) -> None:
    api = collect_api()
    app.env.tovak_api_aliases = api.aliases  # type: ignore[attr-defined]
    for missing in undocumented(api):
        logger.warning("public name without documentation: %s", missing, type="tovak", subtype="undocumented")
    folder = Path(app.srcdir) / GENERATED
    folder.mkdir(parents=True, exist_ok=True)
    wanted = {f"{name}.rst": module_page(api, name) for name in api.modules}
    for stale in folder.glob("*.rst"):
        if stale.name not in wanted:
            stale.unlink()
    for file_name, text in wanted.items():
        path = folder / file_name
        if not path.exists() or path.read_text(encoding="utf-8") != text:
            path.write_text(text, encoding="utf-8")


# --- references -------------------------------------------------------------------

def resolve_alias(app: Sphinx, env: Any, node: Any, contnode: nodes.Element) -> nodes.Element | None:
    """A reference through a module that re-exports a name resolves to its home."""
    if node.get("refdomain") != "py":
        return None
    aliases: dict[str, str] = getattr(env, "tovak_api_aliases", {})
    target = node.get("reftarget", "")
    # A short name in a module's docstring means the name of that module.
    candidates = [f"{node['py:module']}.{target}"] if node.get("py:module") else []
    # The stub's result types, which the package imports under TYPE_CHECKING.
    candidates.append(f"{STUB_MODULE}.{target}")
    domain = env.get_domain("py")
    for candidate in [*candidates, target]:
        if candidate.startswith(STUB_MODULE + "."):
            found = domain.resolve_xref(env, node["refdoc"], app.builder, node["reftype"], candidate, node, contnode)
            if found is not None:
                return found
            continue
        for prefix in sorted(aliases, key=len, reverse=True):
            if candidate == prefix or candidate.startswith(prefix + "."):
                home = aliases[prefix] + candidate[len(prefix):]
                found = domain.resolve_xref(env, node["refdoc"], app.builder, node["reftype"], home, node, contnode)
                if found is not None:
                    return found
    return None


def external(app: Sphinx, env: Any, node: Any, contnode: nodes.Element) -> nodes.Element | None:
    """Names of the standard library and of the libraries in EXTERNAL_LIBRARIES
    are shown as plain text: the site does not document them."""
    if node.get("refdomain") != "py":
        return None
    parts = node.get("reftarget", "").split(".")
    if parts[0] in EXTERNAL_LIBRARIES or (parts[0] in sys.stdlib_module_names and parts[0] != PACKAGE):
        return contnode
    # This project's internal modules (a part starting with "_") are named in
    # docstrings but deliberately left out of the reference.
    if parts[0] == PACKAGE and any(part.startswith("_") for part in parts):
        return contnode
    return None


def readable_defaults(app: Sphinx, what: str, name: str, obj: Any, options: Any, signature: str | None,
                      return_annotation: str | None) -> tuple[str | None, str | None] | None:
    """A dataclass field with a default factory shows as ``= ...``: its
    ``<factory>`` is no Python, and the signature could not be read."""
    if signature and "<factory>" in signature:
        return signature.replace("<factory>", "..."), return_annotation
    return None


def setup(app: Sphinx) -> dict[str, Any]:
    app.connect("autodoc-process-signature", readable_defaults)
    app.connect("builder-inited", write_pages)
    app.connect("missing-reference", resolve_alias)
    app.connect("missing-reference", external, priority=900)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
