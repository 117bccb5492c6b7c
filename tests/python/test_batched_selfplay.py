"""Self-play in batches against the one-game-at-a-time reference: the same
rows, row for row, at several depths and settings; a time-limited run's rows
well formed and replayable; tasks on a process pool; games played twice kept
once; the binding's refusals."""

import multiprocessing
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pyarrow as pa
import pyarrow.parquet as pq
import pytest
from tovak_python import Position

from tovak import _batch
from tovak._occupancy import Occupancy
from tovak.analysis import SearchLimits
from tovak.notation import from_text, to_text
from tovak.runs.batched import draw_opening, play_batch, play_batches
from tovak.runs.dataset import PLY_SCHEMA, DatasetWriter, records_table
from tovak.runs.reader import games_from_table
from tovak.runs.selfplay import GameSettings, play_game

# Few pieces a side: games that end by a win well inside the ply limit.
SPARSE = "W:a1,b1,c1,b2 B:h8,g8,f8,g7 w"


def reference_rows(settings, numbers):
    return records_table([play_game(settings, number) for number in numbers])


def batched_rows(settings, numbers, games_per_task=3):
    return pa.concat_tables(games.rows for games in play_batches(settings, numbers, games_per_task=games_per_task))


@pytest.mark.parametrize(
    "settings, games",
    [
        (GameSettings(limits=SearchLimits(1), seed=3), 12),
        (GameSettings(limits=SearchLimits(2), seed=4, random_plies=5), 6),
        (GameSettings(limits=SearchLimits(3), seed=5, max_plies=40), 3),
        (GameSettings(limits=SearchLimits(2), seed=6, random_plies=0, start=SPARSE), 4),
        (GameSettings(limits=SearchLimits(1), seed=7, random_plies=9, start=SPARSE), 6),
        (GameSettings(limits=SearchLimits(1), seed=8, max_plies=1), 3),
        (GameSettings(limits=SearchLimits(1), seed=8, max_plies=0), 2),
        (GameSettings(limits=SearchLimits(0), seed=9, max_plies=30), 2),
    ],
    ids=["depth1", "depth2-5random", "depth3", "sparse", "sparse-long-opening", "one-ply", "no-ply", "depth0"],
)
def test_batched_rows_equal_the_reference_rows(settings, games):
    numbers = list(range(1, games + 1))
    expected = reference_rows(settings, numbers)
    got = batched_rows(settings, numbers)
    assert got.schema == PLY_SCHEMA
    assert got.to_pylist() == expected.to_pylist()
    assert got.equals(expected)


def test_each_game_is_the_same_whatever_batch_it_is_in():
    settings = GameSettings(limits=SearchLimits(2), seed=12, max_plies=60)
    alone = pa.concat_tables(play_batch(settings, [n]).rows for n in (9, 4, 7))
    together = play_batch(settings, [9, 4, 7], threads=2).rows
    assert together.to_pylist() == alone.to_pylist()
    assert play_batch(settings, [9, 4, 7]).plies == tuple(len(play_game(settings, n).plies) for n in (9, 4, 7))


def test_the_opening_is_drawn_as_the_reference_draws_it():
    settings = GameSettings(limits=SearchLimits(1), seed=21, random_plies=4)
    for number in range(1, 6):
        record = play_game(settings, number)
        assert draw_opening(settings, number) == [p.move for p in record.plies if p.chosen_by == "random"]


def test_a_time_limited_run_gives_well_formed_replayable_rows():
    settings = GameSettings(limits=SearchLimits(time_ms=3), seed=2, max_plies=40)
    games = play_batch(settings, [1, 2, 3])
    records = games_from_table(games.rows)
    assert [r.number for r in records] == [1, 2, 3]
    assert tuple(len(r.plies) for r in records) == games.plies
    rows = games.rows.to_pylist()
    for record in records:
        position = Position()
        for ply in record.plies:
            assert ply.position == to_text(position)
            assert ply.side == position.side_to_move()
            assert ply.move in position.legal_moves()
            if ply.chosen_by == "engine":
                assert ply.depth >= 1 and ply.nodes > 0 and ply.score is not None
            else:
                assert ply.depth is None and ply.nodes is None
            position.apply_move(ply.move)
        winner = position.outcome()
        assert record.winner == winner
        assert record.end_reason == ("ply limit" if winner is None else "no legal move")
    for row in rows:
        board = from_text(row["position"])
        occupancy = Occupancy.from_text(to_text(board))
        assert (row["white"], row["black"]) == (occupancy.white, occupancy.black)
        assert row["result"] == (None if row["winner"] is None else (1 if row["side"] == row["winner"] else -1))


def test_batches_on_a_process_pool_equal_the_batches_here():
    settings = GameSettings(limits=SearchLimits(1), seed=13, max_plies=50)
    numbers = list(range(10, 0, -1))
    with ProcessPoolExecutor(max_workers=2, mp_context=multiprocessing.get_context("spawn")) as pool:
        played = list(play_batches(settings, numbers, pool, max_pending=2, games_per_task=3))
    assert sorted(n for games in played for n in games.numbers) == sorted(numbers)
    by_game = sorted((row for games in played for row in games.rows.to_pylist()), key=lambda r: (r["game"], r["ply"]))
    assert by_game == reference_rows(settings, sorted(numbers)).to_pylist()


def test_games_played_twice_are_written_once(tmp_path):
    settings = GameSettings(limits=SearchLimits(1), seed=14, max_plies=30)
    first, again = play_batch(settings, [1, 2, 3]), play_batch(settings, [2, 3])
    writer = DatasetWriter(tmp_path)
    with pytest.raises(ValueError, match="each game once"):
        writer.write_rows([first, again])
    kept = again.only({3})
    assert kept.numbers == (3,) and set(kept.rows.column("game").to_pylist()) == {3}
    path = writer.write_rows([kept, first.only({1, 2})])
    assert pq.read_table(path).to_pylist() == reference_rows(settings, [1, 2, 3]).to_pylist()


def test_bad_openings_are_refused():
    def play(**changes):
        arguments = dict(
            numbers=np.array([1], np.int64),
            white=np.array([0xFFFF], np.uint64),
            black=np.array([0xFFFF << 48], np.uint64),
            side=np.array([0], np.int8),
            opening_counts=np.array([1], np.int32),
            opening_moves=np.array([0 * 64 + 16], np.int16),  # a1-a3 is no move here
            depth=1,
            budget_ms=10,
            max_plies=10,
            threads=1,
        )
        arguments.update(changes)
        return _batch.play_selfplay(**arguments)

    with pytest.raises(ValueError, match="not legal"):
        play()
    with pytest.raises(ValueError, match="do not match"):
        play(opening_counts=np.array([2], np.int32))
    with pytest.raises(ValueError, match="White and a Black"):
        play(black=np.array([1], np.uint64), opening_counts=np.array([0], np.int32), opening_moves=np.array([], np.int16))
