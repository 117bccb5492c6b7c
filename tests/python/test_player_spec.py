"""Player texts of ``tovak match``: what each form names, and what is refused."""

import pytest

from tovak.analysis import SearchLimits
from tovak.match.player_spec import parse_player_spec


@pytest.mark.parametrize(
    "text, kind, limits, function, argv",
    [
        ("engine", "engine", SearchLimits(), "", ()),
        ("engine:depth=3", "engine", SearchLimits(depth=3), "", ()),
        ("engine:time_ms=50", "engine", SearchLimits(time_ms=50), "", ()),
        ("engine:depth=6, time_ms=200", "engine", SearchLimits(depth=6, time_ms=200), "", ()),
        ("python:bots.strong:choose", "python", SearchLimits(), "bots.strong:choose", ()),
        ("cmd:./bot --level 'very hard'", "cmd", SearchLimits(), "", ("./bot", "--level", "very hard")),
        ("cmd:tovak engine", "cmd", SearchLimits(), "", ("tovak", "engine")),
    ],
)
def test_player_forms(text, kind, limits, function, argv):
    spec = parse_player_spec(text)
    assert (spec.text, spec.kind, spec.limits, spec.function, spec.argv) == (text, kind, limits, function, argv)


@pytest.mark.parametrize(
    "text",
    [
        "",
        "engine:depth=0",
        "engine:depth=256",
        "engine:depth=3,depth=4",
        "engine:time_ms=-1",
        "engine:depth",
        "python:choose",
        "python:module:",
        "cmd:",
        "cmd:'unclosed",
        "Engine:depth=3",
    ],
)
def test_bad_player_texts_are_refused(text):
    with pytest.raises(ValueError, match="bad player"):
        parse_player_spec(text)
