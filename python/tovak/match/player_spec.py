"""Who plays in a match: the text forms that name a player.

- ``engine:depth=3``, ``engine:time_ms=50``, ``engine:depth=6,time_ms=200``
  or plain ``engine`` (depth 4): the built-in engine with those limits;
- ``python:MODULE:FUNCTION``: a function that takes a ``Position`` and
  returns a move text, such as ``python:mybot:choose`` for ``choose`` in
  ``mybot.py`` (looked up from the current directory first);
- ``mcts:simulations=800`` or ``mcts:simulations=800,evaluator=rollout``:
  the tree search (:class:`tovak.mcts.SearchPlayer`) with a built-in
  evaluator, ``uniform`` (the default) or ``rollout``;
- ``mcts-python:MODULE:FUNCTION,simulations=S``: the tree search whose leaves
  the network ``FUNCTION`` of ``MODULE`` evaluates, a function
  ``(observation, mask) -> (logits, values)`` of numpy arrays (see
  :meth:`tovak.mcts.Search.answer`);
- ``cmd:COMMAND LINE``: any program that speaks the engine's line protocol,
  such as ``cmd:./mybot --fast`` (split into words as a shell would, without
  running a shell).
"""

from __future__ import annotations

import shlex
from dataclasses import dataclass
from typing import Literal

from tovak.analysis import MAX_DEPTH, NO_TIME_LIMIT_MS, SearchLimits

__all__ = ["PlayerKind", "PlayerSpec", "parse_player_spec"]

PlayerKind = Literal["engine", "python", "cmd", "mcts", "mcts-python"]
"""What a player text names: the built-in engine, a Python function, a program or the tree search."""

_ENGINE_OPTIONS = {"depth": (1, MAX_DEPTH), "time_ms": (0, NO_TIME_LIMIT_MS)}
MAX_SIMULATIONS = 1_000_000
_EVALUATORS = ("uniform", "rollout")


@dataclass(frozen=True)
class PlayerSpec:
    """A parsed player text. ``text`` is kept as given: it names the player everywhere."""

    text: str
    kind: PlayerKind
    limits: SearchLimits = SearchLimits()
    function: str = ""  # MODULE:FUNCTION, for python players
    argv: tuple[str, ...] = ()  # the command, for cmd players
    simulations: int = 0  # for mcts and mcts-python players
    evaluator: str = ""  # uniform or rollout, for mcts players


def parse_player_spec(text: str) -> PlayerSpec:
    """The player ``text`` names; ``ValueError`` with the expected forms otherwise."""
    kind, sep, rest = text.partition(":")
    if kind == "engine":
        return PlayerSpec(text=text, kind="engine", limits=_engine_limits(rest, text))
    if kind == "python" and sep:
        module, _, function = rest.rpartition(":")
        if not module or not function:
            raise ValueError(f"bad player {text!r}: expected python:MODULE:FUNCTION")
        return PlayerSpec(text=text, kind="python", function=rest)
    if kind == "mcts":
        options = _options(rest, text, {"simulations", "evaluator"})
        evaluator = options.get("evaluator", "uniform")
        if evaluator not in _EVALUATORS:
            raise ValueError(f"bad player {text!r}: evaluator must be uniform or rollout, got {evaluator!r}")
        return PlayerSpec(text=text, kind="mcts", simulations=_simulations(options, text), evaluator=evaluator)
    if kind == "mcts-python" and sep:
        target, _, rest = rest.partition(",")
        module, _, function = target.rpartition(":")
        if not module or not function:
            raise ValueError(f"bad player {text!r}: expected mcts-python:MODULE:FUNCTION,simulations=S")
        options = _options(rest, text, {"simulations"})
        return PlayerSpec(text=text, kind="mcts-python", function=target, simulations=_simulations(options, text))
    if kind == "cmd" and sep:
        try:
            argv = tuple(shlex.split(rest))
        except ValueError as error:
            raise ValueError(f"bad player {text!r}: {error}") from None
        if not argv:
            raise ValueError(f"bad player {text!r}: the command line is empty")
        return PlayerSpec(text=text, kind="cmd", argv=argv)
    raise ValueError(
        f"bad player {text!r}: expected engine:depth=N, engine:time_ms=N, "
        "python:MODULE:FUNCTION, mcts:simulations=S, mcts-python:MODULE:FUNCTION,simulations=S "
        "or cmd:COMMAND LINE"
    )


def _engine_limits(options: str, text: str) -> SearchLimits:
    values: dict[str, int] = {}
    for option in filter(None, options.split(",")):
        name, sep, value = option.partition("=")
        name = name.strip()
        if not sep or name not in _ENGINE_OPTIONS:
            raise ValueError(f"bad player {text!r}: unknown engine option {option!r} (depth=N, time_ms=N)")
        if name in values:
            raise ValueError(f"bad player {text!r}: {name} is given twice")
        low, high = _ENGINE_OPTIONS[name]
        try:
            number = int(value.strip(), 10)
        except ValueError:
            raise ValueError(f"bad player {text!r}: {name} must be an integer, got {value!r}") from None
        if not low <= number <= high:
            raise ValueError(f"bad player {text!r}: {name} must be from {low} to {high}, got {number}")
        values[name] = number
    return SearchLimits(depth=values.get("depth"), time_ms=values.get("time_ms"))


def _options(options: str, text: str, names: set[str]) -> dict[str, str]:
    """The ``name=value`` options of a search player, each known and given once."""
    values: dict[str, str] = {}
    for option in filter(None, options.split(",")):
        name, sep, value = option.partition("=")
        name = name.strip()
        if not sep or name not in names:
            raise ValueError(f"bad player {text!r}: unknown option {option!r} ({', '.join(sorted(names))})")
        if name in values:
            raise ValueError(f"bad player {text!r}: {name} is given twice")
        values[name] = value.strip()
    return values


def _simulations(options: dict[str, str], text: str) -> int:
    if "simulations" not in options:
        raise ValueError(f"bad player {text!r}: simulations=S is required")
    value = options["simulations"]
    try:
        number = int(value, 10)
    except ValueError:
        raise ValueError(f"bad player {text!r}: simulations must be an integer, got {value!r}") from None
    if not 1 <= number <= MAX_SIMULATIONS:
        raise ValueError(f"bad player {text!r}: simulations must be from 1 to {MAX_SIMULATIONS}, got {number}")
    return number
