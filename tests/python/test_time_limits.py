"""Time limits: analyze_timed with budgets from 0 to 50 ms over many positions.
No absolute time is asserted here (the machine is shared; tools/
measure_overshoot.py measures the overshoot); what must hold whatever the
clock does is that the result is consistent with its own timed_out flag and
that a position with moves always gets a legal best move."""

import pytest

from tovak_python import Position
from reliability_support import edited_position, played_position

BUDGETS_MS = [0, 1, 2, 5, 10, 25, 50]

POSITIONS = (
    [("initial", Position())]
    + [(f"played-{seed}", played_position(seed, plies)) for seed, plies in [(1, 4), (2, 15), (3, 30), (4, 60)]]
    + [(f"edited-{seed}", edited_position(seed, n)) for seed, n in [(5, 4), (6, 10), (7, 16)]]
    + [("finished", Position.empty("black"))]
)

def check_consistent(p, result, depth, budget_ms):
    legal = p.legal_moves()
    assert list(result) == ["root_legal_moves", "completed_depth", "nodes", "quiescence_nodes", "timed_out",
                            "best_move", "score", "principal_variation"]
    assert result["root_legal_moves"] == len(legal)
    assert 0 <= result["completed_depth"] <= depth
    if not legal:
        assert (result["best_move"], result["score"], result["principal_variation"]) == (None, None, [])
        assert result["completed_depth"] == 0
        return
    # A position with moves always gets a legal move, whatever the clock did.
    assert result["best_move"] in legal
    assert isinstance(result["score"], int)
    pv = result["principal_variation"]
    assert 1 <= len(pv) <= max(1, result["completed_depth"])
    if depth == 0:
        assert (result["nodes"], result["completed_depth"], result["timed_out"]) == (0, 0, False)
    elif budget_ms == 0:
        assert (result["timed_out"], result["completed_depth"], result["nodes"]) == (True, 0, 0)
    elif not result["timed_out"]:
        # Not cut short: every depth was searched.
        assert result["completed_depth"] == depth
    if result["completed_depth"] == 0:
        assert len(pv) == 1  # the fallback line
    # The line is playable from the position.
    line = p.copy()
    for mv in pv:
        line.apply_move(mv)


@pytest.mark.parametrize("budget_ms", BUDGETS_MS)
@pytest.mark.parametrize("name, position", POSITIONS, ids=[n for n, _ in POSITIONS])
def test_deep_analysis_within_a_budget_is_consistent(name, position, budget_ms):
    # Depth 255 never finishes in 50 ms: the deadline decides every time.
    before = position.legal_moves()
    result = position.analyze_timed(255, budget_ms)
    check_consistent(position, result, 255, budget_ms)
    assert position.legal_moves() == before


@pytest.mark.parametrize("depth", [0, 1, 2, 3])
@pytest.mark.parametrize("budget_ms", [0, 3, 1000, 2**64 - 1])
def test_shallow_analysis_within_a_budget_is_consistent(depth, budget_ms):
    for _, position in POSITIONS[:4]:
        result = position.analyze_timed(depth, budget_ms)
        check_consistent(position, result, depth, budget_ms)
        if budget_ms == 2**64 - 1 and position.legal_moves():
            # A deadline past the clock's range is no deadline at all.
            assert result["timed_out"] is False and result["completed_depth"] == depth
