"""A run on a disk that fills up: one line on stderr, every chunk written
before intact, nothing half-written, and --resume finishing the run once
there is room again. The disk is a real tmpfs of a few kilobytes."""

import os
import subprocess

import pytest
from command_support import tovak

from tovak.runs import reader


def tovak_selfplay(*args):
    return tovak("selfplay", *args)


def mount(*args):
    return subprocess.run(["mount", *args], capture_output=True, text=True)


@pytest.fixture
def small_disk(tmp_path):
    if os.geteuid() != 0:
        pytest.skip("mounting a small tmpfs needs root")
    point = tmp_path / "disk"
    point.mkdir()
    mounted = mount("-t", "tmpfs", "-o", "size=48k", "tmpfs", str(point))
    if mounted.returncode != 0:
        pytest.skip(f"cannot mount a tmpfs here: {mounted.stderr.strip()}")
    try:
        yield point
    finally:
        subprocess.run(["umount", "-l", str(point)], check=False)


RUN = ("--games", "150", "--depth", "1", "--seed", "4", "--chunk-plies", "300", "--replays", "0")


def test_a_full_disk_stops_the_run_cleanly_and_resume_finishes_it(small_disk, tmp_path):
    out = small_disk / "run"
    run = tovak_selfplay(*RUN, "--out", str(out))
    assert run.returncode == 1
    assert run.stderr.startswith("tovak: error: cannot write ")
    assert "No space left on device" in run.stderr and "--resume" in run.stderr
    assert len(run.stderr.splitlines()) == 1, run.stderr
    # The chunks written before are whole, and nothing half-written is left.
    kept = reader.read_plies(out).to_pylist()
    assert 0 < len({row["game"] for row in kept}) < 150
    assert [p.name for p in (out / "data").iterdir() if not p.name.startswith("chunk-")] == []

    assert mount("-o", "remount,size=4m", str(small_disk)).returncode == 0
    resumed = tovak_selfplay("--out", str(out), "--resume")
    assert resumed.returncode == 0, resumed.stderr
    whole = tovak_selfplay(*RUN, "--out", str(tmp_path / "whole"))
    assert whole.returncode == 0, whole.stderr
    assert reader.read_plies(out) == reader.read_plies(tmp_path / "whole")


def test_a_read_only_disk_is_one_line_and_keeps_the_run(small_disk):
    out = small_disk / "run"
    assert mount("-o", "remount,size=4m", str(small_disk)).returncode == 0
    first = tovak_selfplay(
        "--games", "4", "--depth", "1", "--seed", "4", "--chunk-plies", "1", "--batch-games", "1", "--out", str(out)
    )
    assert first.returncode == 0, first.stderr
    # As if the run had been killed before its last chunk: one game is missing.
    sorted((out / "data").glob("chunk-*.parquet"))[-1].unlink()
    before = reader.read_plies(out)
    assert mount("-o", "remount,ro", str(small_disk)).returncode == 0
    resumed = tovak_selfplay("--out", str(out), "--resume")
    assert resumed.returncode == 1
    assert resumed.stderr.startswith("tovak: error: cannot write ")
    assert "Read-only file system; 3 of 4 games are recorded" in resumed.stderr
    assert len(resumed.stderr.splitlines()) == 1, resumed.stderr
    assert reader.read_plies(out) == before
