"""Without the rl extra, the modules that need it say which extra to install."""

import subprocess
import sys
import textwrap

import pytest

# A meta path finder that makes the listed top-level modules missing, as in an
# environment where the extra was never installed.
BLOCKER = textwrap.dedent(
    """
    import sys

    class Missing:
        def find_spec(self, name, path=None, target=None):
            if name.partition(".")[0] in BLOCKED:
                raise ModuleNotFoundError(f"No module named {name!r}", name=name)
            return None

    BLOCKED = set(sys.argv[2].split(","))
    sys.meta_path.insert(0, Missing())
    try:
        __import__(sys.argv[1])
    except ImportError as error:
        print(type(error).__name__, error.name, error, sep="|")
    else:
        print("imported")
    """
)


def import_without(module, blocked):
    done = subprocess.run(
        [sys.executable, "-c", BLOCKER, module, ",".join(blocked)], capture_output=True, text=True, check=True
    )
    return done.stdout.strip()


@pytest.mark.parametrize(
    "module, blocked, missing",
    [
        ("tovak.features", ["numpy"], "numpy"),
        ("tovak.env", ["numpy", "gymnasium", "pettingzoo"], "numpy"),
        ("tovak.env", ["pettingzoo"], "pettingzoo"),
        ("tovak.env", ["gymnasium", "pettingzoo"], "gymnasium"),
        ("tovak.vector", ["numpy"], "numpy"),
        ("tovak.vector", ["gymnasium"], "gymnasium"),
    ],
)
def test_a_missing_library_names_the_extra(module, blocked, missing):
    kind, name, message = import_without(module, blocked).split("|")
    assert kind == "ImportError" and name == missing
    assert f"{module} needs the rl extra" in message and "pip install 'tovak[rl]'" in message


def test_the_features_do_not_need_the_environment_libraries():
    assert import_without("tovak.features", ["gymnasium", "pettingzoo"]) == "imported"
    assert import_without("tovak", ["numpy", "gymnasium", "pettingzoo"]) == "imported"


@pytest.mark.parametrize("module", ["tovak.cli.app", "tovak.match.players", "tovak.runs.session"])
def test_the_command_and_its_runners_do_not_need_the_rl_extra(module):
    # numpy is a dependency of the package itself; the learning libraries are not.
    assert import_without(module, ["gymnasium", "pettingzoo"]) == "imported"
