"""The command's help and its refusals: one line on stderr, never a traceback."""

import importlib.metadata
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest
from command_support import TOVAK, start_tovak, tovak




OPTIONS = {
    (): ["play", "analyze", "selfplay", "replay"],
    ("play",): ["--side", "--time-ms", "--depth", "--position", "--style"],
    ("analyze",): ["TEXT", "--depth", "--time-ms", "--json", "--style"],
    ("selfplay",): ["--games", "--depth", "--time-ms", "--jobs", "--seed", "--out", "--random-plies",
                    "--max-plies", "--show", "--resume", "--replays", "--cluster", "--chunk-plies"],
    ("replay",): ["DIR", "--game", "--out"],
}


@pytest.mark.parametrize("command", list(OPTIONS), ids=lambda c: " ".join(c) or "tovak")
def test_help_lists_every_option(command):
    run = tovak(*command, "--help")
    assert run.returncode == 0
    assert run.stdout.startswith("usage: " + " ".join(("tovak",) + command))
    for option in OPTIONS[command]:
        assert option in run.stdout


def test_console_script_is_installed():
    script = Path(sys.executable).with_name("tovak")
    run = subprocess.run([script, "--help"], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0
    assert "usage: tovak" in run.stdout


@pytest.mark.parametrize(
    "args, message",
    [
        ((), "the following arguments are required: COMMAND"),
        (("frobnicate",), "invalid choice: 'frobnicate'"),
        (("analyze", "--bogus"), "unrecognized arguments: --bogus"),
        (("analyze", "--depth", "256"), "depth must be from 0 to 255, got 256"),
        (("analyze", "--depth", "-1"), "depth must be from 0 to 255, got -1"),
        (("analyze", "--depth", "two"), "depth must be an integer, got 'two'"),
        (("analyze", "--time-ms", "-5"), "time must not be negative, got -5 ms"),
        (("analyze", "--time-ms", "1.5"), "time must be an integer"),
        (("analyze", "W:a1,z9", "B:h8", "w"), "bad White squares field: 'z9' is not a square"),
        (("analyze", "W:a1 B:a1 w"), "'a1' is also in the White squares field"),
        (("analyze", "W:a1 B:h8"), "three fields"),
        (("play", "--side", "red"), "side must be 'white' or 'black', got 'red'"),
        (("play", "--style", "fancy"), "invalid choice: 'fancy'"),
        (("play", "--position", "nonsense"), "bad position 'nonsense'"),
        (("play", "--depth"), "expected one argument"),
        (("selfplay", "--games", "0"), "games must be at least 1, got 0"),
        (("selfplay", "--jobs", "0"), "jobs must be at least 1, got 0"),
        (("selfplay", "--seed", "x"), "seed must be an integer"),
        (("selfplay", "--max-plies", "0"), "max plies must be at least 1"),
        (("selfplay", "--position", "W:- B:- q"), "bad side-to-move field"),
        (("selfplay", "--jobs", "2", "--cluster", "tcp://127.0.0.1:1"), "not allowed with argument"),
        (("selfplay", "--position", "W:a1 B:h8 w"), "the start position is already decided: Black wins"),
        (("replay", "--game", "1"), "the following arguments are required: DIR"),
    ],
)
def test_bad_arguments_give_one_line_and_status_2(args, message):
    run = tovak(*args)
    assert run.returncode == 2
    assert run.stdout == ""
    assert len(run.stderr.splitlines()) == 1, run.stderr
    assert run.stderr.startswith("tovak")
    assert message in run.stderr
    assert "Traceback" not in run.stderr


@pytest.mark.parametrize(
    "args, hint",
    [
        ((), "'tovak COMMAND --help'"),
        (("frobnicate",), "'tovak COMMAND --help'"),
        (("--bogus",), "'tovak COMMAND --help'"),
        (("analyze", "--bogus"), "'tovak analyze --help'"),
        (("analyze", "--depth", "x"), "'tovak analyze --help'"),
        (("play", "extra"), "'tovak play --help'"),
        (("selfplay", "--games", "0"), "'tovak selfplay --help'"),
    ],
)
def test_usage_errors_name_the_help_that_explains_them(args, hint):
    run = tovak(*args)
    assert run.returncode == 2
    assert len(run.stderr.splitlines()) == 1
    assert run.stderr.endswith(f"{hint})\n"), run.stderr


def test_version_names_the_installed_distribution():
    run = tovak("--version")
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout == f"tovak {importlib.metadata.version('tovak')}\n"
    # The same answer whatever follows, before any command is required.
    assert tovak("--version", "analyze", "--depth", "x").stdout == run.stdout


def test_unwritable_output_directory_is_one_line(tmp_path):
    blocker = tmp_path / "file"
    blocker.write_text("not a directory")
    run = tovak("selfplay", "--depth", "0", "--out", str(blocker / "out"))
    assert run.returncode == 1
    assert run.stderr.startswith("tovak: error: cannot create output directory")
    assert len(run.stderr.splitlines()) == 1


def test_interrupt_is_one_line():
    # SIGINT while the player is being asked for a move ends with status 130.
    process = start_tovak("play", stdin=subprocess.PIPE)
    try:
        assert "Your move" in _read_until(process.stdout, "Your move (White): ")
        process.send_signal(signal.SIGINT)
        _, stderr = process.communicate(timeout=60)
    finally:
        process.kill()
    assert process.returncode == 130
    assert stderr == "tovak: error: interrupted\n"


def _read_until(stream, marker):
    seen = ""
    while not seen.endswith(marker):
        char = stream.read(1)
        if not char:
            break
        seen += char
    return seen


def test_closed_stdout_is_not_a_traceback():
    read_end, write_end = os.pipe()
    os.close(read_end)
    run = subprocess.run(
        [*TOVAK, "analyze", "--depth", "0"],
        stdout=write_end,
        stderr=subprocess.PIPE,
        text=True,
        timeout=60,
    )
    os.close(write_end)
    assert run.returncode != 0
    assert "Traceback" not in run.stderr


def test_interrupting_parallel_self_play_stops_every_process(tmp_path):
    # Ctrl-C in a terminal reaches the whole process group: the workers must
    # stay quiet and the parent must stop them and report one line.
    process = start_tovak("selfplay", "--games", "50", "--jobs", "2", "--time-ms", "50",
                          "--out", str(tmp_path / "run"), start_new_session=True)
    try:
        time.sleep(3)
        os.killpg(process.pid, signal.SIGINT)
        stdout, stderr = process.communicate(timeout=30)
    finally:
        process.kill()
    assert process.returncode == 130
    # Once games are under way the line also says how many were saved.
    assert re.fullmatch(r"tovak: error: interrupted(; \d+ of 50 games recorded in .*)?\n", stderr), stderr
    assert "Games:" not in stdout
    assert not group_alive_after(process.pid, seconds=10)  # no worker is left behind


def group_alive_after(group, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            os.killpg(group, 0)
        except ProcessLookupError:
            return False
        time.sleep(0.1)
    return True
