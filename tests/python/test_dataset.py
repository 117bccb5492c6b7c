"""The dataset from Python: rows against the games, round trips through the
writer and the reader, chunks that never replace each other, runs that lock
their directory, and the standard readers."""

import multiprocessing
import os
import signal
import subprocess
import sys
from concurrent.futures import Executor, Future, ProcessPoolExecutor
from dataclasses import replace

import pyarrow.parquet as pq
import pytest
from binding_support import random_plies
from tovak_python import Position

from tovak.runs import reader
from tovak.analysis import SearchLimits
from tovak._atomic_files import write_atomically
from tovak.runs.dataset import PLY_SCHEMA, DatasetWriter, RunDirectory, RunDirectoryError, records_table
from tovak.notation import SQUARES, from_text, to_text
from tovak._occupancy import Occupancy, squares_mask, squares_text
from tovak.runs.records import GameRecord
from tovak.runs.selfplay import GameSettings, play_game, play_games, settings_to_json

SETTINGS = GameSettings(limits=SearchLimits(1), seed=11, max_plies=50)


@pytest.fixture(scope="module")
def games():
    return list(play_games(SETTINGS, range(1, 9)))


def new_run(path, settings=SETTINGS, games=8):
    return RunDirectory.create(path, "selfplay", {"games": games, **settings_to_json(settings)})


def timeless(record):
    return replace(record, seconds=0.0)


@pytest.mark.parametrize(
    "squares, expected",
    [("-", 0), ("a1", 1), ("h1", 1 << 7), ("a2", 1 << 8), ("h8", 1 << 63), ("a1,c1,h8", 1 | 4 | 1 << 63)],
)
def test_occupancy_bits_are_board_indices(squares, expected):
    assert squares_mask(squares) == expected
    assert squares_text(expected) == squares


@pytest.mark.parametrize("seed", range(4))
def test_occupancy_follows_random_games_as_the_module_does(seed):
    position = Position()
    board = Occupancy.from_text(to_text(position))
    for move in random_plies(seed, 300, position):
        board.play(move)
        assert board.text() == to_text(position)


def test_rows_agree_with_the_games(games):
    table = records_table(games)
    assert table.schema == PLY_SCHEMA
    rows = table.to_pylist()
    assert len(rows) == sum(len(g.plies) for g in games)
    for row in rows:
        position = from_text(row["position"])
        for bit, square in enumerate(SQUARES):
            owner = position.piece_at(square)
            assert ((row["white"] >> bit) & 1, (row["black"] >> bit) & 1) == (owner == "white", owner == "black")
        assert row["side"] == position.side_to_move()
        assert position.is_legal_move(row["move"])


def test_a_game_without_plies_keeps_one_row(tmp_path):
    # A game can end before its first move (a player that fails at once).
    start = "W:a1,b1,c1 B:h8 b"
    record = GameRecord(number=1, seed="tovak-selfplay:11:1", start=start, final_position=start,
                        winner="white", end_reason="crash", white_player="a", black_player="b")
    with new_run(tmp_path / "run") as run:
        run.writer().write([record])
    assert reader.read_plies(tmp_path / "run").to_pylist() == [
        {"game": 1, "ply": 0, "position": "W:a1,b1,c1 B:h8 b", "white": 7, "black": 1 << 63, "side": "black",
         "move": None, "chosen_by": None, "score": None, "depth": None, "nodes": None, "quiescence_nodes": None,
         "winner": "white", "result": None, "end_reason": "crash", "white_player": "a", "black_player": "b"}
    ]
    assert reader.read_game(tmp_path / "run", 1) == record
    assert reader.move_lists(tmp_path / "run") == {1: []}


def test_pyarrow_dataset_is_imported_only_when_a_run_is_read(tmp_path, games):
    # Every worker of a self-play run imports the command line; the dataset
    # module (and what it brings in) would slow each start-up.
    with new_run(tmp_path / "run") as run:
        run.writer().write(games[:3])
    script = (
        "import sys\n"
        "import tovak.cli.app\n"
        "from tovak.runs import reader\n"
        "at_start = 'pyarrow.dataset' in sys.modules\n"
        f"table = reader.read_plies({str(tmp_path / 'run')!r}, games=[2, 3])\n"
        "print(at_start, 'pyarrow.dataset' in sys.modules, sorted(set(table.column('game').to_pylist())))\n"
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "False True [2, 3]"


def test_written_games_read_back_equal(tmp_path, games):
    with new_run(tmp_path / "run") as run:
        writer = run.writer()
        # Chunks in any order of games; the reader sorts.
        first = writer.write([games[5], games[1], games[3]])
        second = writer.write([g for g in games if g.number not in (2, 4, 6)])
    assert (first.name, second.name) == ("chunk-000001.parquet", "chunk-000002.parquet")
    back = reader.read_games(tmp_path / "run")
    assert back == [timeless(g) for g in games]
    assert reader.read_games(tmp_path / "run", [7, 3]) == [timeless(games[2]), timeless(games[6])]
    assert reader.recorded_games(tmp_path / "run") == set(range(1, 9))
    assert reader.move_lists(tmp_path / "run")[4] == [p.move for p in games[3].plies]
    with pytest.raises(LookupError, match="game 9 is not recorded"):
        reader.read_game(tmp_path / "run", 9)


def test_standard_readers_read_the_data_folder(tmp_path, games):
    pandas = pytest.importorskip("pandas")
    polars = pytest.importorskip("polars")
    with new_run(tmp_path / "run") as run:
        run.writer().write(games[:4])
        run.writer().write(games[4:])
    data = tmp_path / "run" / "data"
    (data / ".chunk-000003.parquet.1.tmp").write_bytes(b"half a chunk")  # a writer killed mid-write
    expected = reader.read_plies(tmp_path / "run")
    frame = pandas.read_parquet(data).sort_values(["game", "ply"]).reset_index(drop=True)
    assert frame.equals(expected.to_pandas())
    lazy = polars.read_parquet(str(data / "*.parquet")).sort(["game", "ply"])
    assert lazy.to_dicts() == expected.to_pylist()


def test_a_writer_adds_chunks_and_never_replaces_one(tmp_path, games):
    data = tmp_path / "data"
    DatasetWriter(data).write(games[:2])
    later = DatasetWriter(data)  # a resumed run
    assert later.write(games[2:4]).name == "chunk-000002.parquet"
    assert [t.num_rows for t in map(pq.read_table, sorted(data.iterdir()))] == [
        sum(len(g.plies) for g in games[:2]),
        sum(len(g.plies) for g in games[2:4]),
    ]
    with pytest.raises(ValueError, match="each game once"):
        later.write([games[4], games[4]])
    with pytest.raises(FileExistsError):
        write_atomically(data / "chunk-000001.parquet", b"other data")
    assert pq.read_table(data / "chunk-000001.parquet").num_rows > 0


def test_a_failed_write_leaves_no_file(tmp_path, monkeypatch):
    import errno

    from tovak import _atomic_files as atomic_files

    real_write = os.write

    def write_half_then_fill_the_disk(descriptor, data):
        if len(data) > 4:
            return real_write(descriptor, data[: len(data) // 2])
        raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))

    monkeypatch.setattr(atomic_files.os, "write", write_half_then_fill_the_disk)
    with pytest.raises(OSError, match="No space left on device"):
        write_atomically(tmp_path / "x", b"0123456789")
    assert list(tmp_path.iterdir()) == []


@pytest.fixture
def ctrl_c_raises():
    """SIGINT raises KeyboardInterrupt here, even in a suite started with it ignored."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


def test_ctrl_c_once_a_match_chunk_is_on_disk_does_not_write_its_games_again(
    tmp_path, games, monkeypatch, ctrl_c_raises
):
    from tovak.runs import dataset
    from tovak.match.recording import CHUNK_GAMES, MatchOutput
    from tovak.match.settings import MatchGame, MatchSettings
    from tovak.match.player_spec import parse_player_spec

    real_write = dataset.write_atomically

    def write_then_interrupt(path, data, **options):
        real_write(path, data, **options)
        if path.suffix == ".parquet":
            signal.raise_signal(signal.SIGINT)  # Ctrl-C the moment the chunk is whole

    monkeypatch.setattr(dataset, "write_atomically", write_then_interrupt)
    engine = parse_player_spec("engine:depth=1")
    numbered = [replace(games[n % len(games)], number=n + 1) for n in range(CHUNK_GAMES)]
    with pytest.raises(KeyboardInterrupt):
        with MatchOutput.create(str(tmp_path / "run"), MatchSettings(players=(engine, engine), games=CHUNK_GAMES)) as output:
            for record in numbered:
                output.add(MatchGame(record))
    assert len(list((tmp_path / "run" / "data").glob("chunk-*.parquet"))) == 1
    rows = reader.read_plies(tmp_path / "run", columns=["game"]).column("game").to_pylist()
    assert sorted(rows) == sorted(record.number for record in numbered for _ in record.plies)


def test_ctrl_c_once_a_self_play_chunk_is_on_disk_stops_the_run_with_each_game_once(
    tmp_path, monkeypatch, ctrl_c_raises
):
    from tovak.errors import CommandError
    from tovak.runs import dataset
    from tovak.runs.session import INTERRUPTED, KIND, SelfPlayRun, recorded_settings

    real_write = dataset.write_atomically
    chunks = []

    def write_then_interrupt(path, data, **options):
        real_write(path, data, **options)
        if path.suffix == ".parquet":
            chunks.append(path)
            if len(chunks) == 2:
                signal.raise_signal(signal.SIGINT)

    monkeypatch.setattr(dataset, "write_atomically", write_then_interrupt)
    out = tmp_path / "run"
    with RunDirectory.create(out, KIND, recorded_settings(6, SETTINGS)) as run:
        with pytest.raises(CommandError, match=r"^interrupted; 2 of 6 games recorded") as stopped:
            SelfPlayRun(run, chunk_plies=1, replays=0, games_per_task=1).play(executor=None)  # a chunk a game
    assert stopped.value.status == INTERRUPTED
    assert len(chunks) == 2
    assert sorted(reader.recorded_games(out)) == [1, 2]
    with RunDirectory.open(out, KIND) as run:
        SelfPlayRun(run, replays=0).play(executor=None)
    # The resumed run holds each game once, as an uninterrupted run plays it.
    assert len(chunks) == 3  # the resumed sitting kept its four games for one chunk
    assert reader.read_games(out) == [timeless(play_game(SETTINGS, number)) for number in range(1, 7)]


def test_run_directory_is_exclusive(tmp_path):
    with new_run(tmp_path / "run"):
        with pytest.raises(RunDirectoryError, match="in use by another running process"):
            RunDirectory.open(tmp_path / "run", "selfplay")
        with pytest.raises(RunDirectoryError, match="holds another run"):
            new_run(tmp_path / "run")
    with RunDirectory.open(tmp_path / "run", "selfplay") as again:
        assert again.info["settings"]["seed"] == 11
    with pytest.raises(RunDirectoryError, match="holds a selfplay run, not a match run"):
        RunDirectory.open(tmp_path / "run", "match")


def test_opening_a_run_removes_stale_temporaries(tmp_path, games):
    with new_run(tmp_path / "run") as run:
        run.writer().write(games[:1])
    stale = tmp_path / "run" / "data" / ".chunk-000002.parquet.999.tmp"
    stale.write_bytes(b"PAR1")
    assert reader.recorded_games(tmp_path / "run") == {1}  # readers never see it
    with RunDirectory.open(tmp_path / "run", "selfplay"):
        assert not stale.exists()


@pytest.mark.parametrize("games_per_task", [1, 3])
def test_play_games_on_an_executor_gives_the_same_games(games, games_per_task):
    context = multiprocessing.get_context("spawn")
    with ProcessPoolExecutor(max_workers=2, mp_context=context) as pool:
        played = list(play_games(SETTINGS, range(8, 0, -1), pool, max_pending=3, games_per_task=games_per_task))
    assert sorted(map(timeless, played), key=lambda g: g.number) == list(map(timeless, games))


class InlineExecutor(Executor):
    """Plays the first ``runs`` tasks (all when None) as they are handed out,
    so that they have all finished when the caller next waits; holds the
    others, never started."""

    def __init__(self, runs=None):
        self.runs = runs
        self.futures = []

    def submit(self, fn, /, *args, **kwargs):
        future = Future()
        if self.runs is None or len(self.futures) < self.runs:
            future.set_result(fn(*args, **kwargs))
        self.futures.append(future)
        return future


@pytest.mark.parametrize(
    "games_per_task, max_pending, order",
    [
        # Tasks handed out together finish together, and come out by their first game.
        (1, 3, [6, 7, 8, 3, 4, 5, 1, 2]),
        (3, 2, [5, 4, 3, 8, 7, 6, 2, 1]),
        (1, 8, [1, 2, 3, 4, 5, 6, 7, 8]),
    ],
)
def test_play_games_hands_out_a_window_of_tasks_and_yields_each_batch_in_game_order(
    games, games_per_task, max_pending, order
):
    executor = InlineExecutor()
    played = list(play_games(SETTINGS, range(8, 0, -1), executor, max_pending=max_pending, games_per_task=games_per_task))
    assert [g.number for g in played] == order
    assert list(map(timeless, played)) == [timeless(games[n - 1]) for n in order]


def test_closing_play_games_early_cancels_the_tasks_not_started():
    executor = InlineExecutor(runs=1)
    played = play_games(SETTINGS, range(1, 9), executor, max_pending=3, games_per_task=1)
    assert next(played).number == 1
    played.close()
    assert [f.cancelled() for f in executor.futures] == [False, True, True]


def test_play_game_is_one_of_play_games(games):
    assert timeless(play_game(SETTINGS, 5)) == timeless(games[4])


def test_bytes_per_ply_stay_small(tmp_path):
    # 200 games at depth 1: about 15,000 plies in one chunk.
    played = list(play_games(replace(SETTINGS, max_plies=200), range(1, 201)))
    path = DatasetWriter(tmp_path).write(played)
    plies = sum(len(g.plies) for g in played)
    assert os.path.getsize(path) / plies < 40
