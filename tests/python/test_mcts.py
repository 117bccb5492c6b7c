"""tovak.mcts.Search through its Python loop: what it finds, what it promises
of its result, its reproducibility, and how it refuses bad answers.

The premises (which move wins, the rules' order of moves) come from
tovak_python and tovak.features, never from the search itself.
"""

import numpy as np
import pytest
from tovak_python import Position

from tovak.features import legal_mask, move_index, planes
from tovak.mcts import Search
from tovak.notation import from_text, to_text
from tovak.vector import Games

MIDGAME = "W:a1,b1,c1,d1,b2,c2,e3,d4 B:h8,g8,f8,e8,g7,f7,d6,e5 w"
SMALL = "W:a1,b1,c1,b2 B:h8,g8,f8,g7 w"  # six moves a side


def zero_network(observation, mask):
    return np.zeros(mask.shape, np.float32), np.zeros(len(mask), np.float32)


def material_network(observation, mask):
    """Equal priors; a value from the piece balance, as a static evaluation would."""
    balance = observation[:, 0].sum(axis=(1, 2)) - observation[:, 1].sum(axis=(1, 2))
    return np.zeros(mask.shape, np.float32), np.tanh(0.12 * balance).astype(np.float32)


WEIGHTS = np.random.default_rng(7).normal(size=(3 * 64, 4096)).astype(np.float32)


def varied_network(observation, mask):
    """Logits and values that differ from leaf to leaf but depend on the leaf alone."""
    flat = observation.reshape(len(observation), -1)
    logits = flat @ WEIGHTS
    return logits, np.tanh(logits[:, 0] / 10).astype(np.float32)


def search_with(network, search):
    search.begin()
    rounds = 0
    while (leaves := search.leaves()) is not None:
        search.answer(*network(leaves.observation, leaves.legal_action_mask))
        rounds += 1
    return rounds


def games_at(*texts, **options):
    games = Games(len(texts), seed=3, **options)
    for i, text in enumerate(texts):
        games.set_position(i, text)
    return games


def mirrored(text):
    """The same placement seen from the other side: ranks turned round, colours and turn swapped."""
    position = from_text(text)
    other = Position.empty("white" if position.side_to_move() == "black" else "black")
    for file in "abcdefgh":
        for rank in "12345678":
            owner = position.piece_at(file + rank)
            if owner is not None:
                other.set_piece("white" if owner == "black" else "black", file + str(9 - int(rank)))
    return to_text(other)


def mirrored_move(move):
    return "-".join(square[0] + str(9 - int(square[1])) for square in move.split("-"))


def after(position, move):
    p = position.copy()
    p.apply_move(move)
    return p


def wins_in_one(position):
    return [m for m in position.legal_moves() if after(position, m).outcome() is not None]


def wins_in_two(position):
    wins = []
    for m in position.legal_moves():
        replies = after(position, m).legal_moves()
        if replies and all(wins_in_one(after(after(position, m), r)) for r in replies):
            wins.append(m)
    return wins


FORCED_WINS = [
    pytest.param("W:b1,e1,f2,b3,f6,f7,d8 B:c1,h3,b4,b8 w", "f6-b4", 1, id="capture-leaves-two"),
    pytest.param("W:f3,c4,h6,f7,h7 B:h1,h3,d7 w", "f7-h3", 1, id="one-capture-of-many"),
    pytest.param("W:a2,b2,f3,a4,h5,d7 B:d2,d4,e4,d6 w", "f3-d4", 2, id="quiet-then-capture"),
    pytest.param("W:d1,e2,c3,c5,d6,h8 B:a3,b4,b8,e8 w", "e2-b4", 2, id="capture-then-capture"),
]


@pytest.mark.parametrize("as_black", [False, True], ids=["white", "black"])
@pytest.mark.parametrize("text, move, depth", FORCED_WINS)
def test_a_forced_win_is_found_through_the_loop(text, move, depth, as_black):
    position = from_text(text)
    if depth == 1:
        assert wins_in_one(position) == [move]
    else:
        assert wins_in_one(position) == [] and wins_in_two(position) == [move]
    if as_black:
        text, move = mirrored(text), mirrored_move(move)
    games = games_at(text)
    search = Search(games, simulations=800, dirichlet_fraction=0.0, seed=1)
    search_with(material_network, search)
    result = search.result()
    side = from_text(text).side_to_move()
    assert result.action[0] == move_index(move, side)
    assert result.root_value[0] > 0.5
    # The built-in evaluator finds it too, with two threads over copies of the game.
    games = games_at(text, text)
    search = Search(games, simulations=800, dirichlet_fraction=0.0, seed=1, threads=2)
    search.begin()
    search.run("uniform")
    assert search.result().action.tolist() == [move_index(move, side)] * 2


VARIANTS = [
    pytest.param({}, id="puct"),
    pytest.param({"leaves_per_game": 4}, id="virtual-loss"),
    pytest.param({"gumbel": True, "max_considered": 8}, id="gumbel"),
    pytest.param({"gumbel": True, "leaves_per_game": 3}, id="gumbel-virtual-loss"),
]


@pytest.mark.parametrize("options", VARIANTS)
def test_visits_sum_to_the_simulations_and_nothing_falls_off_the_legal_moves(options):
    games = games_at(MIDGAME, mirrored(MIDGAME), "W:a2,b2,f3,a4,h5,d7 B:d2,d4,e4,d6 b", "W:a1 B:h8,g8 w")
    legal = np.array([legal_mask(games.position(i)) for i in range(len(games))], bool)
    search = Search(games, simulations=150, seed=5, **options)
    rounds = search_with(varied_network, search)
    assert rounds >= 1
    result = search.result()
    for i in range(len(games)):
        if not legal[i].any():  # the lone White piece has no move: the game has ended
            assert result.action[i] == -1 and result.visits[i].sum() == 0 and result.policy[i].sum() == 0
            assert result.root_value[i] == -1
            continue
        assert result.visits[i].sum() == 150
        assert (result.visits[i][~legal[i]] == 0).all()
        assert (result.policy[i][~legal[i]] == 0).all()
        assert result.policy[i].min() >= 0
        assert result.policy[i].sum() == pytest.approx(1.0, abs=1e-5)
        assert legal[i][result.action[i]]
        assert -1 <= result.root_value[i] <= 1


def test_the_leaves_asked_are_legal_positions_of_their_games():
    games = games_at(MIDGAME, mirrored(MIDGAME))
    search = Search(games, simulations=20, leaves_per_game=3, seed=2)
    search.begin()
    leaves = search.leaves()
    # The first round is each root alone, as the games show it.
    assert leaves.game.tolist() == [0, 1]
    for i in range(2):
        assert (leaves.observation[i] == planes(games.position(i))).all()
        assert (leaves.legal_action_mask[i] == legal_mask(games.position(i)).astype(bool)).all()
    assert search.leaves().game.tolist() == [0, 1]  # asked again: the same leaves
    search.answer(*zero_network(leaves.observation, leaves.legal_action_mask))
    leaves = search.leaves()
    assert leaves.game.tolist() == sorted(leaves.game.tolist()) and len(leaves) <= 6
    assert not leaves.observation.flags.writeable


def depth_two_leaves(root):
    """The planes of each position two plies below `root`, by (root move, reply in the rules' order)."""
    found = {}
    for m in root.legal_moves():
        child = after(root, m)
        for k, r in enumerate(child.legal_moves()):
            key = planes(after(child, r)).tobytes()
            assert key not in found, "a transposition would make the premise ambiguous"
            found[key] = (m, k)
    return found


@pytest.mark.parametrize("fraction", [0.0, 0.25])
def test_noise_goes_on_the_root_priors_only(fraction):
    # With equal priors and values 0, a node without noise spends its visits
    # on its moves in the rules' order; noise at the root alone leaves every
    # node below the root doing so, and only the root's visits out of order.
    root = from_text(SMALL)
    below = depth_two_leaves(root)
    games = games_at(SMALL)
    search = Search(games, simulations=30, dirichlet_fraction=fraction, seed=9)
    search.begin()
    replies = {}
    while (leaves := search.leaves()) is not None:
        for observation in leaves.observation:
            if observation.tobytes() in below:
                m, k = below[observation.tobytes()]
                replies.setdefault(m, []).append(k)
        search.answer(*zero_network(leaves.observation, leaves.legal_action_mask))
    assert replies, "no leaf two plies down"
    for m, ks in replies.items():
        assert ks == list(range(len(ks))), m
    visits = search.result().visits[0]
    by_rules = [visits[move_index(m)] for m in root.legal_moves()]
    assert sum(by_rules) == 30
    in_order = all(a >= b for a, b in zip(by_rules, by_rules[1:]))
    assert in_order == (fraction == 0.0)


def run_search(threads, evaluator, seed=11, **options):
    games = games_at(MIDGAME, mirrored(MIDGAME), "W:a2,b2,f3,a4,h5,d7 B:d2,d4,e4,d6 b", "W:a1,c3,e5 B:h8,g8,b6 w")
    search = Search(games, simulations=64, seed=seed, threads=threads, **options)
    if evaluator == "network":
        search_with(varied_network, search)
    else:
        search.begin()
        search.run(evaluator)
    result = search.result()
    return (
        result.policy.copy(),
        result.visits.copy(),
        result.root_value.copy(),
        result.action.copy(),
        search.select(1.0),
    )


@pytest.mark.parametrize("evaluator", ["network", "uniform", "rollout"])
@pytest.mark.parametrize("options", VARIANTS)
def test_a_seed_gives_one_search_whatever_the_threads(evaluator, options):
    one = run_search(1, evaluator, **options)
    for threads in (2, 3):
        for a, b in zip(one, run_search(threads, evaluator, **options)):
            np.testing.assert_array_equal(a, b)
    other = run_search(2, evaluator, seed=12, **options)
    assert any((a != b).any() for a, b in zip(one, other))


def snapshot(games):
    return [games.to_text(i) for i in range(len(games))], games.reset_games(np.zeros(len(games), bool)).copy()


def test_the_search_never_changes_the_games_until_they_are_stepped():
    games = games_at(MIDGAME, mirrored(MIDGAME), "W:a1 B:h8,g8 w")
    before_texts, before = snapshot(games)
    search = Search(games, simulations=30, leaves_per_game=2, seed=4, threads=2)
    search_with(varied_network, search)
    search.result()
    actions = search.select(0)
    search.select(1.0)
    search.begin()
    search.run("rollout")
    texts, now = snapshot(games)
    assert texts == before_texts
    for field in ("observation", "legal_action_mask", "plies", "terminated"):
        np.testing.assert_array_equal(getattr(now, field), getattr(before, field))
    # Stepping plays the search's moves; the ended game's -1 is ignored.
    assert actions[2] == -1
    games.step(actions)
    for i in range(2):
        assert games.to_text(i) != before_texts[i]


def test_select_at_temperature_zero_takes_the_most_visited_first_in_the_rules_order():
    # Equal priors and values 0: the visits go round the moves in the rules'
    # order, so with fewer simulations than moves the first few moves tie.
    texts = [MIDGAME, mirrored(MIDGAME)]
    games = games_at(*texts)
    search = Search(games, simulations=5, dirichlet_fraction=0.0, seed=1)
    search_with(zero_network, search)
    chosen = search.select(0)
    result = search.result()
    for i, text in enumerate(texts):
        position = from_text(text)
        side = position.side_to_move()
        assert len(position.legal_moves()) > 5
        tied = [move_index(m, side) for m in position.legal_moves()[:5]]
        assert sorted(np.flatnonzero(result.visits[i]).tolist()) == sorted(tied)
        assert chosen[i] == result.action[i] == tied[0]
    # With varied visits too, it is the first of the most visited.
    search = Search(games, simulations=100, seed=1)
    search_with(varied_network, search)
    result = search.result()
    chosen = search.select(0)
    for i, text in enumerate(texts):
        position = from_text(text)
        numbers = [move_index(m, position.side_to_move()) for m in position.legal_moves()]
        visits = [result.visits[i][n] for n in numbers]
        assert chosen[i] == result.action[i] == numbers[visits.index(max(visits))]


def test_select_at_a_temperature_draws_visited_moves():
    games = games_at(MIDGAME)
    search = Search(games, simulations=40, seed=1)
    search_with(varied_network, search)
    visits = search.result().visits[0].copy()
    drawn = {int(search.select(1.0)[0]) for _ in range(200)}
    assert len(drawn) > 1 and all(visits[a] > 0 for a in drawn)
    with pytest.raises(ValueError, match="temperature"):
        search.select(-1.0)


def test_self_play_steps_the_games_with_the_search():
    games = Games(3, seed=2, max_plies=12, random_plies=2)
    search = Search(games, simulations=16, seed=2, threads=2)
    plies = []
    for _ in range(30):
        search.begin()
        search.run("uniform")
        state = games.step(search.select(0))
        plies.append(state.plies.copy())
    assert max(p.max() for p in plies) == 12  # games reached their limit and were reset
    assert (np.array(plies) <= 12).all()


def k_leaves():
    games = games_at(MIDGAME, mirrored(MIDGAME))
    search = Search(games, simulations=10, leaves_per_game=2, seed=6)
    search.begin()
    search.answer(*zero_network(*astuple(search.leaves())))
    return search, search.leaves()


def astuple(leaves):
    return leaves.observation, leaves.legal_action_mask


def bad_answers(leaves):
    k = len(leaves)
    logits, values = zero_network(*astuple(leaves))
    legal = np.argmax(leaves.legal_action_mask[0])
    nan_legal = logits.copy()
    nan_legal[0, legal] = np.nan
    inf_legal = logits.copy()
    inf_legal[-1, np.argmax(leaves.legal_action_mask[-1])] = -np.inf
    return [
        ((logits.astype(np.int32), values), "floating-point"),
        ((logits, values.astype(bool)), "floating-point"),
        ((logits[:-1], values), r"shape \(%d, 4096\)" % k),
        ((logits[:, :-1], values), "shape"),
        ((logits, values[:, None]), r"shape \(%d,\)" % k),
        ((logits.tolist(), values[:-1]), "values must have shape"),
        ((nan_legal, values), "logit of leaf 0 .* is nan"),
        ((inf_legal, values), f"logit of leaf {k - 1} .* is -inf"),
        ((logits, np.where(np.arange(k) == 1, np.inf, values)), "value of leaf 1 .* is inf"),
        ((logits, np.where(np.arange(k) == 2, np.nan, values)), "value of leaf 2 .* is nan"),
        ((logits, np.where(np.arange(k) == 1, 1.5, values)), r"outside \[-1, 1\]"),
        ((logits, np.full(k, -1.0001, np.float32)), r"outside \[-1, 1\]"),
    ]


def test_bad_answers_are_refused_and_the_leaves_stay_answerable():
    search, leaves = k_leaves()
    observation, mask = leaves.observation.copy(), leaves.legal_action_mask.copy()
    for answer, message in bad_answers(leaves):
        with pytest.raises(ValueError, match=message):
            search.answer(*answer)
    # Nothing changed: the same leaves are asked, and answered as a search
    # that never saw a bad answer would be.
    again = search.leaves()
    np.testing.assert_array_equal(again.observation, observation)
    np.testing.assert_array_equal(again.legal_action_mask, mask)
    # Masked entries may hold anything, and float64 is read as float32.
    logits = np.where(mask, 0.0, np.nan)
    search.answer(logits, np.zeros(len(mask)))
    while (leaves := search.leaves()) is not None:
        search.answer(*zero_network(*astuple(leaves)))
    clean, _ = k_leaves()
    clean.answer(*zero_network(*astuple(clean.leaves())))
    while (leaves := clean.leaves()) is not None:
        clean.answer(*zero_network(*astuple(leaves)))
    np.testing.assert_array_equal(search.result().visits, clean.result().visits)


def test_answers_and_reads_out_of_turn_are_refused():
    games = games_at(MIDGAME)
    search = Search(games, simulations=4, seed=1)
    answer = (np.zeros((1, 4096), np.float32), np.zeros(1, np.float32))
    with pytest.raises(ValueError, match="nothing|no leaves"):
        search.answer(*answer)
    with pytest.raises(ValueError, match="begin"):
        search.result()
    search.begin()
    with pytest.raises(ValueError, match="no leaves are waiting"):
        search.answer(*answer)
    leaves = search.leaves()
    with pytest.raises(ValueError, match="waiting for an answer"):
        search.result()
    with pytest.raises(ValueError, match="waiting for an answer"):
        search.run("uniform")
    search.answer(*zero_network(*astuple(leaves)))
    with pytest.raises(ValueError, match="not finished"):
        search.select(0)
    search_with(zero_network, search)
    with pytest.raises(ValueError, match="no leaves are waiting"):
        search.answer(*answer)
    assert search.result().visits.sum() == 4


@pytest.mark.parametrize(
    "options, error, message",
    [
        ({"simulations": 0}, ValueError, "simulations"),
        ({"simulations": 1.5}, TypeError, "simulations"),
        ({"c_puct": -1}, ValueError, "c_puct"),
        ({"dirichlet_alpha": 0}, ValueError, "dirichlet_alpha"),
        ({"dirichlet_fraction": 1.5}, ValueError, "dirichlet_fraction"),
        ({"max_considered": 0}, ValueError, "max_considered"),
        ({"leaves_per_game": 0}, ValueError, "leaves_per_game"),
        ({"threads": 0}, ValueError, "threads"),
        ({"seed": -1}, ValueError, "seed"),
        ({"gumbel": 1}, TypeError, "gumbel"),
    ],
)
def test_bad_settings_are_refused(options, error, message):
    with pytest.raises(error, match=message):
        Search(Games(1, seed=1), **{"simulations": 4, **options})


def test_an_unknown_evaluator_is_refused():
    search = Search(Games(1, seed=1), simulations=4)
    search.begin()
    with pytest.raises(ValueError, match="evaluator must be 'uniform' or 'rollout'"):
        search.run("minimax")
    with pytest.raises(TypeError, match="tovak.vector.Games"):
        Search(object(), simulations=4)
