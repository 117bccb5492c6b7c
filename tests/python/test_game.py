"""tovak.Game: a start position and its moves, behaving as a value."""

import copy
import json
import pickle
import stat

import pytest
from binding_support import random_plies
from tovak_python import Position

from tovak import Game
from tovak.notation import from_text, to_text

WIN_IN_ONE = "W:a1,b1,a2 B:b2,h8 w"  # a1-b2 takes b2 and leaves Black one piece


def random_moves(seed, plies, start=None):
    return list(random_plies(seed, plies, None if start is None else from_text(start)))


def state(game):
    return game.start, game.moves, game.to_text(), game.legal_moves()


@pytest.mark.parametrize("seed", range(4))
def test_a_game_follows_its_moves_and_takes_them_back(seed):
    moves = random_moves(seed, 40)
    game = Game()
    replay = Position()
    texts = [to_text(replay)]
    for move in moves:
        assert game.push(move) == move
        replay.apply_move(move)
        texts.append(to_text(replay))
        assert game.to_text() == to_text(replay)
        assert game.legal_moves() == replay.legal_moves()
        assert game.outcome() == replay.outcome()
    assert game.moves == tuple(moves)
    assert [to_text(p) for p in game] == texts
    for expected in reversed(moves):
        assert game.pop() == expected
        texts.pop()
        assert game.to_text() == texts[-1]
    assert game == Game()


def test_moves_are_stored_in_canonical_notation():
    game = Game(moves=["A1-B3"])
    assert game.moves == ("a1-b3",)
    assert game == Game(moves=["a1-b3"])


@pytest.mark.parametrize(
    "move, error, message",
    [
        ("e7-e5", ValueError, "no supporting pivot exists for this move"),
        ("e2-e4", ValueError, "piece does not belong to player to move"),
        ("a7-a7", ValueError, "start and destination must differ"),
        ("e7e5", ValueError, "invalid square in move"),
        (12, TypeError, "expected str, got int"),
    ],
)
def test_a_refused_move_leaves_the_game_unchanged(move, error, message):
    game = Game(moves=["a1-b3"])
    before = state(game)
    with pytest.raises(error, match=message):
        game.push(move)
    assert state(game) == before


def test_no_move_is_accepted_once_the_game_is_over():
    game = Game(WIN_IN_ONE, ["a1-b2"])
    assert game.outcome() == "white" and game.legal_moves() == []
    before = state(game)
    with pytest.raises(ValueError):
        game.push("h8-a1")
    assert state(game) == before


def test_pop_without_moves_is_an_index_error():
    game = Game(WIN_IN_ONE)
    with pytest.raises(IndexError):
        game.pop()
    assert game == Game(WIN_IN_ONE)


def test_an_illegal_move_in_the_list_is_named_by_its_number():
    with pytest.raises(ValueError, match=r"move 2 \('e7-e5'\): no supporting pivot"):
        Game(moves=["a1-b3", "e7-e5"])


@pytest.mark.parametrize("start, error", [(3, TypeError), ("W:a1 B:h8", ValueError)])
def test_bad_start_is_refused(start, error):
    with pytest.raises(error):
        Game(start)


def test_a_single_string_is_not_taken_for_a_list_of_moves():
    with pytest.raises(TypeError, match="not one str"):
        Game(moves="a1-b3")


def test_the_position_and_the_start_are_copies():
    start = from_text(WIN_IN_ONE)
    game = Game(start)
    start.apply_move("a1-b2")
    assert game.to_text() == WIN_IN_ONE
    game.position.apply_move("a1-b2")
    assert game.to_text() == WIN_IN_ONE and game.moves == ()
    for position in game:
        position.apply_move("a1-b2")
    assert game.to_text() == WIN_IN_ONE


GAMES = [
    Game(),
    Game(moves=random_moves(1, 12)),
    Game(WIN_IN_ONE),
    Game(WIN_IN_ONE, ["a1-b2"]),
    Game("W:d5,c6,g6,b7 B:h5,f7,e8 b", random_moves(2, 5, "W:d5,c6,g6,b7 B:h5,f7,e8 b")),
]


@pytest.mark.parametrize("game", GAMES, ids=repr)
def test_repr_pickle_and_copies_build_equal_independent_games(game):
    rebuilt = [
        eval(repr(game), {"Game": Game}),
        pickle.loads(pickle.dumps(game)),
        copy.deepcopy(game),
        copy.copy(game),
        Game.from_json(game.to_json()),
    ]
    for other in rebuilt:
        assert other == game
        assert other.to_text() == game.to_text()
        if other.legal_moves():
            other.push(other.legal_moves()[0])
            assert other != game  # a copy is a game of its own


def test_equality_is_by_start_and_moves():
    assert Game() == Game(to_text(Position()))
    assert Game() != Game(moves=["a1-b3"])
    # The same position reached from different starts is a different game.
    assert Game(moves=["a1-b3"]) != Game(to_text(Game(moves=["a1-b3"]).position))
    assert Game() != "not a game"
    with pytest.raises(TypeError):
        hash(Game())


def test_the_text_form_shows_the_diagram_and_who_moves():
    game = Game(WIN_IN_ONE)
    assert str(game) == from_text(WIN_IN_ONE).ascii_board() + "White to move\n"
    game.push("a1-b2")
    assert str(game) == (
        game.position.ascii_board()
        + "Black to move, after a1-b2: White wins (Black has no legal move)\n"
    )


def test_the_picture_marks_the_last_move_and_its_pivots():
    assert Game()._repr_svg_() == Position().svg_board()
    game = Game(moves=["d1-d3"])  # three pairs of White pieces meet at d2
    svg = game._repr_svg_()
    assert svg.count('fill="#118ab2"') == 3
    assert '<line x1="224" y1="480" x2="224" y2="352"' in svg
    # The pieces are those of the current position.
    assert svg.count('fill="#fffdf7"') == 16 and game.position.piece_at("d3") == "white"
    assert 'cx="224" cy="352" r="20" fill="#fffdf7"' in svg
    game.push(game.legal_moves()[0])
    black_move = game.moves[-1]
    before = Game(moves=["d1-d3"]).position
    assert game.svg().count('fill="#118ab2"') == len(before.supporting_pivots(black_move))


def test_captured_square_names_the_captures():
    game = Game(WIN_IN_ONE, ["a1-b2"])
    assert game.captured_square() == "b2"
    game = Game(moves=["a1-b3"])
    assert game.captured_square() is None
    with pytest.raises(IndexError):
        Game().captured_square()


def test_save_and_load_round_trip(tmp_path):
    game = Game(moves=random_moves(3, 20))
    path = tmp_path / "game.json"
    game.save(path)
    assert Game.load(path) == game
    data = json.loads(path.read_text())
    assert data == {"format": "tovak game", "version": 1, "start": game.start, "moves": list(game.moves)}
    assert stat.S_IMODE(path.stat().st_mode) == 0o644
    # Saving again replaces the file whole, and leaves no temporary file behind.
    game.pop()
    game.save(path)
    assert Game.load(path) == game
    assert [p.name for p in tmp_path.iterdir()] == ["game.json"]


@pytest.mark.parametrize(
    "content, message",
    [
        ("not json", "not a game file"),
        ("[1, 2]", "not a game file"),
        ('{"format": "tovak game", "version": 2, "start": "W:- B:- w", "moves": []}', "unsupported game file version 2"),
        ('{"format": "tovak game", "version": 1, "start": 5, "moves": []}', '"start" must be a position text'),
        ('{"format": "tovak game", "version": 1, "start": "W:a1 B:h8 w", "moves": "a1-b3"}', '"moves" must be a list'),
        ('{"format": "tovak game", "version": 1, "start": "W:a1 B:h8", "moves": []}', "three fields"),
        ('{"format": "tovak game", "version": 1, "start": "W:a1,b1,c1 B:h8 w", "moves": ["a1-e1"]}', "move 1"),
    ],
)
def test_a_bad_game_file_names_the_file_and_the_fault(tmp_path, content, message):
    path = tmp_path / "bad.json"
    path.write_text(content)
    with pytest.raises(ValueError, match=message) as caught:
        Game.load(path)
    assert str(path) in str(caught.value)
