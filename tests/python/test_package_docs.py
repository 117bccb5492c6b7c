"""Every public module, class, function, method and property of the tovak
package has a docstring that help() shows."""

import importlib
import inspect
import pkgutil
import pydoc

import pytest

import tovak


def public_modules():
    names = ["tovak"]
    for info in pkgutil.walk_packages(tovak.__path__, "tovak."):
        if not any(part.startswith("_") and part != "__main__" for part in info.name.split(".")):
            names.append(info.name)
    return sorted(names)


def documented_objects():
    """(qualified name, object) for every public thing the package defines."""
    found = []
    for name in public_modules():
        module = importlib.import_module(name)
        found.append((name, module))
        for attribute, value in vars(module).items():
            if attribute.startswith("_") or getattr(value, "__module__", None) != name:
                continue
            if inspect.isfunction(value):
                found.append((f"{name}.{attribute}", value))
            elif inspect.isclass(value):
                found.append((f"{name}.{attribute}", value))
                found.extend(class_members(f"{name}.{attribute}", value))
    return found


def class_members(prefix, cls):
    members = []
    for attribute, value in vars(cls).items():
        if attribute.startswith("_"):
            continue
        if isinstance(value, (staticmethod, classmethod)):
            value = value.__func__
        if inspect.isfunction(value) or isinstance(value, property):
            members.append((f"{prefix}.{attribute}", value))
    return members


OBJECTS = documented_objects()


def test_the_walk_finds_the_package():
    names = {name for name, _ in OBJECTS}
    assert {"tovak.game.Game", "tovak.game.Game.push", "tovak.analysis.live.start", "tovak.cli.app.main"} <= names


@pytest.mark.parametrize("name, value", OBJECTS, ids=[name for name, _ in OBJECTS])
def test_has_a_docstring_that_help_shows(name, value):
    doc = inspect.getdoc(value)
    assert doc and doc.strip(), f"{name} has no docstring"
    if not isinstance(value, property):
        shown = pydoc.render_doc(value, renderer=pydoc.plaintext)
        assert doc.splitlines()[0] in shown
