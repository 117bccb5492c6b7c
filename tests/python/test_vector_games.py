"""tovak.vector.Games against the module's own answers, step by step.

A model made of tovak_python.Position objects plays the same moves; after
every call each field of each game is compared with what the module and
tovak.features say of the model's position.
"""

import threading

import numpy as np
import pytest
from tovak_python import Position

from tovak import _batch
from tovak.features import legal_mask, move_index, move_of_index, planes
from tovak.notation import from_text, to_text
from tovak.match.player_spec import parse_player_spec
from tovak.match.players import make_player
from tovak.vector import Games

# Few pieces a side: games end within a few dozen plies, so endings,
# resets and both winners come up in short runs.
SPARSE = "W:a1,b1,c1,b2,c2 B:h8,g8,f8,g7,f7 w"


class Model:
    """N games played through tovak_python alone, with the batch's conventions."""

    def __init__(self, count, start, max_plies, autoreset):
        self.start, self.max_plies, self.autoreset = start, max_plies, autoreset
        self.positions = [from_text(start) for _ in range(count)]
        self.plies = [0] * count
        self.rewards = [(0.0, 0.0)] * count
        self.terminated = [p.outcome() is not None for p in self.positions]
        self.truncated = [False] * count
        self.ended = list(self.terminated)

    def restart(self, i):
        self.positions[i] = from_text(self.start)
        self.plies[i] = 0
        self.rewards[i] = (0.0, 0.0)
        self.terminated[i] = self.ended[i] = self.positions[i].outcome() is not None
        self.truncated[i] = False

    def step(self, i, move):
        if self.ended[i]:
            self.restart(i)
            return
        position = self.positions[i]
        mover = position.side_to_move()
        position.apply_move(move)
        self.plies[i] += 1
        winner = position.outcome()
        self.rewards[i] = (0.0, 0.0) if winner is None else ((1.0, -1.0) if winner == "white" else (-1.0, 1.0))
        assert winner in (None, mover)
        self.terminated[i] = winner is not None
        self.truncated[i] = winner is None and self.plies[i] >= self.max_plies
        self.ended[i] = self.terminated[i] or self.truncated[i]
        if self.ended[i] and self.autoreset == "same_step":
            ending = self.rewards[i], self.terminated[i], self.truncated[i]
            self.restart(i)
            self.rewards[i], self.terminated[i], self.truncated[i] = ending


def assert_matches(games, state, model):
    for i, position in enumerate(model.positions):
        mover = position.side_to_move()
        assert games.to_text(i) == to_text(position)
        np.testing.assert_array_equal(state.observation[i], planes(position))
        np.testing.assert_array_equal(state.legal_action_mask[i], legal_mask(position).astype(bool))
        assert state.current_player[i] == (0 if mover == "white" else 1)
        assert tuple(state.rewards[i]) == model.rewards[i]
        assert state.terminated[i] == model.terminated[i]
        assert state.truncated[i] == model.truncated[i]
        assert state.plies[i] == model.plies[i]


@pytest.mark.parametrize("threads", [1, 2, 3])
@pytest.mark.parametrize("autoreset", ["next_step", "same_step", "disabled"])
@pytest.mark.parametrize("start, max_plies", [(SPARSE, 40), (to_text(Position()), 14)])
def test_every_field_of_every_step_matches_the_module(threads, autoreset, start, max_plies):
    count = 5
    games = Games(count, threads=threads, seed=4, start=start, max_plies=max_plies, autoreset=autoreset)
    model = Model(count, start, max_plies, autoreset)
    assert_matches(games, games.reset(), model)
    rng = np.random.default_rng(threads)
    endings = 0
    for _ in range(120):
        if autoreset == "disabled" and any(model.ended):
            which = np.array(model.ended)
            state = games.reset_games(which)
            for i in np.flatnonzero(which):
                model.restart(int(i))
            assert_matches(games, state, model)
            continue
        actions, moves = [], []
        for position, ended in zip(model.positions, model.ended):
            legal = position.legal_moves()
            move = None if ended else legal[rng.integers(len(legal))]
            moves.append(move)
            # An ended game's action is ignored, however wrong it is.
            actions.append(9999 if move is None else move_index(move, position.side_to_move()))
        state = games.step(actions)
        for i, move in enumerate(moves):
            model.step(i, move)
        assert_matches(games, state, model)
        endings += int(state.terminated.sum() + state.truncated.sum())
    assert endings >= 5


@pytest.mark.parametrize("autoreset", ["next_step", "same_step"])
def test_same_seed_gives_the_same_states_whatever_the_threads(autoreset):
    runs = []
    for threads in (1, 2, 3):
        games = Games(11, threads=threads, seed=123, random_plies=5, max_plies=30, autoreset=autoreset)
        states = [games.reset(seed=77).copy()]
        for _ in range(80):
            states.append(games.step(games.sample_actions()).copy())
        runs.append(states)
    for states in runs[1:]:
        for a, b in zip(runs[0], states):
            for name in vars(a):
                np.testing.assert_array_equal(getattr(a, name), getattr(b, name))
    # A different seed plays different games.
    other = Games(11, seed=124, random_plies=5, max_plies=30).reset(seed=78)
    assert not np.array_equal(other.observation, runs[0][0].observation)


def test_sampled_actions_are_legal_and_the_views_are_overwritten():
    games = Games(8, seed=2, random_plies=3)
    state = games.reset()
    kept = state.copy()
    for _ in range(30):
        actions = games.sample_actions()
        for i, action in enumerate(actions):
            position = games.position(i)
            assert position.is_legal_move(move_of_index(int(action), position.side_to_move()))
        state = games.step(actions)
    assert not state.observation.flags.writeable
    assert not np.array_equal(kept.plies, state.plies)  # the copy kept the old state


def snapshot(games):
    return [games.to_text(i) for i in range(len(games))]


BAD_STEPS = [
    (lambda n: [0] * (n - 1), ValueError, "expected 3 actions, one per game, got 2"),
    (lambda n: np.zeros((n, 1), dtype=np.int64), ValueError, "1-D array of 3 move numbers"),
    (lambda n: np.zeros(n, dtype=np.float64), TypeError, "must be integers"),
    (lambda n: [True] * n, TypeError, "must be integers"),
    (lambda n: [17, 17, 4096], ValueError, "game 2: action 4096 is not a move number"),
    (lambda n: [17, -1, 17], ValueError, "game 1: action -1 is not a move number"),
    (lambda n: np.array([17, 2**64 - 1, 17], dtype=np.uint64), ValueError, "game 1: action 18446744073709551615"),
    # Game 1 has Black to move: 17 is a8-b6 there, legal; 24 is a8-a5, not.
    (lambda n: [17, 24, 17], ValueError, r"game 1: action 24 \(a8-a5\) is not a legal move for black"),
]


@pytest.mark.parametrize("make_actions, error, text", BAD_STEPS)
def test_a_refused_step_leaves_every_game_as_it_was(make_actions, error, text):
    games = Games(3, seed=1)
    before = games.step([17, 17, 17]).copy()  # a1-b3 in every game: Black to move
    texts = snapshot(games)
    with pytest.raises(error, match=text):
        games.step(make_actions(3))
    after = games.reset_games(np.zeros(3, dtype=bool))
    assert snapshot(games) == texts
    np.testing.assert_array_equal(after.observation, before.observation)
    np.testing.assert_array_equal(after.plies, before.plies)


def test_disabled_refuses_an_ended_game_until_it_is_reset():
    games = Games(4, seed=3, start=SPARSE, max_plies=3, autoreset="disabled")
    games.reset()
    for _ in range(3):
        state = games.step(games.sample_actions())
    assert state.truncated.all() or state.terminated.any()
    texts = snapshot(games)
    with pytest.raises(ValueError, match="game 0 has ended and autoreset is disabled"):
        games.step(games.sample_actions())
    assert snapshot(games) == texts
    state = games.reset_games(np.array([True, False, False, False]))
    assert games.to_text(0) == to_text(from_text(SPARSE)) and state.plies[0] == 0
    assert snapshot(games)[1:] == texts[1:]


@pytest.mark.parametrize(
    "kwargs, error, text",
    [
        ({"num_games": 0}, ValueError, "num_games must be at least 1"),
        ({"num_games": 2.0}, TypeError, "num_games must be an integer"),
        ({"threads": 0}, ValueError, "threads must be at least 1"),
        ({"threads": True}, TypeError, "threads must be an integer"),
        ({"max_plies": 0}, ValueError, "max_plies must be at least 1"),
        ({"random_plies": -1}, ValueError, "random_plies must be at least 0"),
        ({"autoreset": "never"}, ValueError, "autoreset must be"),
        ({"seed": -1}, ValueError, "seed must be from 0"),
        ({"seed": "1"}, TypeError, "seed must be an integer"),
        ({"start": 5}, TypeError, "start must be"),
        ({"start": "W:a1 B:h8"}, ValueError, "three fields"),
        ({"opponent": "engine:depth=0"}, ValueError, "opponent must be"),
        ({"opponent": "engine:time_ms=5"}, ValueError, "opponent must be"),
        ({"agent_color": "red"}, ValueError, "agent_color must be"),
    ],
)
def test_bad_arguments_are_named(kwargs, error, text):
    arguments = {"num_games": 2, **kwargs}
    with pytest.raises(error, match=text):
        Games(**arguments)


def test_positions_can_be_read_and_set_by_text():
    games = Games(3, seed=5)
    with pytest.raises(IndexError, match="game index 3 is out of range for 3 games"):
        games.position(3)
    with pytest.raises(TypeError, match="game must be an integer"):
        games.to_text("0")
    with pytest.raises(ValueError, match="Black squares"):
        games.set_position(1, "W:a1 B:z9 w")
    games.set_position(1, "W:a1,b1,a2 B:b2,h8 w")
    state = games.step([move_index("a1-b3"), move_index("a1-b2"), move_index("a1-b3")])
    assert state.terminated.tolist() == [False, True, False]
    assert state.rewards[1].tolist() == [1.0, -1.0]
    copy = games.position(1)
    copy.clear_square("b2")  # a copy: the game is not changed
    assert games.to_text(1) == "W:b1,a2,b2 B:h8 b"


@pytest.mark.parametrize("agent_color", ["white", "black", "alternate"])
def test_engine_opponent_replies_as_the_match_player_does(agent_color):
    depth = 2
    player = make_player(parse_player_spec(f"engine:depth={depth}"), 1000)
    games = Games(4, random_plies=4, opponent=f"engine:depth={depth}", agent_color=agent_color)
    state = games.reset(seed=6)  # seeding starts the episodes' count again
    colors = games.agent_colors()
    assert colors.tolist() == {"white": [0] * 4, "black": [1] * 4, "alternate": [0, 1, 0, 1]}[agent_color]
    assert (state.current_player == colors).all()
    for _ in range(3):
        positions = [games.position(i) for i in range(4)]
        actions = games.sample_actions()
        state = games.step(actions)
        for i, position in enumerate(positions):
            position.apply_move(move_of_index(int(actions[i]), position.side_to_move()))
            if position.outcome() is None:
                position.apply_move(player.choose(to_text(position), [], position).move)
            assert games.to_text(i) == to_text(position)
    player.close()


def test_random_opponent_leaves_the_agent_to_move():
    games = Games(6, seed=9, start=SPARSE, max_plies=500, opponent="random", agent_color="black")
    state = games.reset()
    assert state.plies.tolist() == [1] * 6
    for _ in range(40):
        state = games.step(games.sample_actions())
        live = ~(state.terminated | state.truncated)
        assert (state.current_player[live] == 1).all()


def test_two_python_threads_on_one_object_never_see_it_half_stepped():
    games = Games(64, threads=2, seed=10, start=SPARSE, max_plies=60)
    reference = Games(64, threads=1, seed=10, start=SPARSE, max_plies=60)
    failures = []

    def stepper():
        for _ in range(200):
            games.step(games.sample_actions())

    def reader():
        try:
            for _ in range(300):
                for i in (0, 31, 63):
                    position = games.position(i)
                    assert position.piece_count("white") <= 5 and position.piece_count("black") <= 5
        except Exception as error:  # reported below, from the main thread
            failures.append(error)

    threads = [threading.Thread(target=stepper), threading.Thread(target=reader)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not failures
    # The reader changed nothing: the games are those of a run alone.
    for _ in range(200):
        reference.step(reference.sample_actions())
    assert snapshot(games) == snapshot(reference)


def test_two_python_threads_stepping_one_object_leave_it_consistent():
    games = Games(32, threads=2, seed=11, start=SPARSE, max_plies=40)
    refused = []

    def stepper():
        for _ in range(150):
            try:
                games.step(games.sample_actions())
            except ValueError:  # the other thread stepped in between: a stale action
                refused.append(1)

    threads = [threading.Thread(target=stepper) for _ in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    state = games.reset_games(np.zeros(32, dtype=bool))
    for i in range(32):
        position = games.position(i)
        np.testing.assert_array_equal(state.observation[i], planes(position))
        np.testing.assert_array_equal(state.legal_action_mask[i], legal_mask(position).astype(bool))


def random_positions(count, seed):
    rng = np.random.default_rng(seed)
    found = []
    while len(found) < count:
        position = Position()
        for _ in range(int(rng.integers(0, 80))):
            moves = position.legal_moves()
            if not moves:
                break
            position.apply_move(moves[rng.integers(len(moves))])
        found.append(position)
    return found


@pytest.mark.parametrize("perspective", [None, "white", "black"])
def test_fast_features_of_one_position_equal_tovak_features(perspective):
    for position in random_positions(150, 12):
        board = position.ascii_board("letters")
        side = position.side_to_move()
        fast_planes = _batch.board_planes(board, side, perspective)
        fast_mask = _batch.board_legal_mask(board, side, perspective)
        assert fast_planes.dtype == np.float32 and fast_mask.dtype == np.int8
        np.testing.assert_array_equal(fast_planes, planes(position, perspective))
        np.testing.assert_array_equal(fast_mask, legal_mask(position, perspective))


@pytest.mark.parametrize(
    "board, side, perspective, text",
    [
        (Position().ascii_board("letters"), "white", "red", "perspective must be 'white' or 'black', got 'red'"),
        (Position().ascii_board("letters"), "White", None, "side_to_move must be 'white' or 'black'"),
        (Position().ascii_board("letters"), "white", 5, "perspective must be 'white' or 'black', got 5"),
        (Position().ascii_board(), "white", None, "letters-style diagram"),
        ("", "white", None, "letters-style diagram"),
    ],
)
def test_fast_features_refuse_bad_arguments(board, side, perspective, text):
    with pytest.raises(ValueError, match=text):
        _batch.board_planes(board, side, perspective)
    with pytest.raises(ValueError, match=text):
        _batch.board_legal_mask(board, side, perspective)


def test_the_stub_names_what_the_module_has():
    # stubtest cannot read nanobind's functions, so the names are compared here.
    import ast
    import importlib.util
    from pathlib import Path

    stub = ast.parse(Path(importlib.util.find_spec("tovak._batch").origin).with_name("_batch.pyi").read_text())
    functions = {node.name for node in stub.body if isinstance(node, ast.FunctionDef)}
    classes = [node for node in stub.body if isinstance(node, ast.ClassDef)]
    assert functions | {c.name for c in classes} == {name for name in dir(_batch) if not name.startswith("_")}
    for cls in classes:
        methods = {node.name for node in cls.body if isinstance(node, ast.FunctionDef)} - {"__init__"}
        public = {name for name in dir(getattr(_batch, cls.name)) if not name.startswith("_")}
        assert methods == public | {"__len__"}, cls.name
