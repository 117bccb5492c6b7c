"""The closing summary of ``make test``: each suite's line read from its runner's output."""

import subprocess
from pathlib import Path

import pytest

TOOLS = Path(__file__).resolve().parents[2] / "tools"


def run_suite(tmp_path, name, script):
    return subprocess.run(
        [TOOLS / "run-suite", name, "sh", "-c", script], cwd=tmp_path, capture_output=True, text=True, timeout=60
    )


@pytest.mark.parametrize(
    "output, status, verdict",
    [
        ("....\n4 passed, 1 skipped in 0.52s\n", 0, "ok (passed 4, skipped 1, "),
        ("F..\n1 failed, 2 passed, 1 xfailed in 1.02s (0:00:01)\n", 1, "FAILED (passed 2, failed 1, xfailed 1, "),
        ("E\n1 passed, 2 errors in 0.30s\n", 1, "FAILED (passed 1, errors 2, "),
        ("no tests ran in 0.01s\n", 5, "FAILED (no tests ran, "),
        ("100% tests passed, 0 tests failed out of 140\n\nTotal Test time (real) =   4.02 sec\n", 0,
         "ok (passed 140 of 140, "),
        ("100% tests passed out of 365\n", 0, "ok (passed 365 of 365, "),
        (" 97% tests passed, 4 tests failed out of 140\n", 8, "FAILED (passed 136 of 140, failed 4, "),
        ("compiler error\n", 2, "FAILED ("),
        ("fuzz_rules  1000 runs\n", 0, "ok ("),
    ],
    ids=["pytest-ok", "pytest-failed", "pytest-errors", "pytest-none", "ctest-ok", "ctest-ok-newer", "ctest-failed",
         "no-runner-line-failed", "no-runner-line-ok"],
)
def test_each_suite_leaves_one_line_with_its_counts(tmp_path, output, status, verdict):
    (tmp_path / "out.txt").write_text(output)
    run = run_suite(tmp_path, "suite-a", f"cat out.txt; exit {status}")
    assert run.returncode == status
    assert run.stdout == f"== suite-a\n{output}"  # the runner's output passes through unchanged
    (line,) = (tmp_path / "build" / "test-summary").read_text().splitlines()
    name, result = line.split("\t")
    assert name == "suite-a"
    assert result.startswith(verdict), result
    assert ("log: build/test-logs/suite-a.log" in result) == (status != 0)
    assert (tmp_path / "build" / "test-logs" / "suite-a.log").read_text() == output


def test_the_summary_names_every_suite_and_the_failed_ones(tmp_path):
    run_suite(tmp_path, "first", "echo '3 passed in 0.1s'")
    run_suite(tmp_path, "second", "echo '1 failed, 2 passed in 0.1s'; exit 1")
    run_suite(tmp_path, "third", "echo '100% tests passed, 0 tests failed out of 9'")
    summary = subprocess.run(
        [TOOLS / "test-summary", "build/test-summary"], cwd=tmp_path, capture_output=True, text=True, timeout=60
    ).stdout.splitlines()
    assert [line.split()[:2] for line in summary[2:5]] == [["first", "ok"], ["second", "FAILED"], ["third", "ok"]]
    assert summary[-1] == "FAILED suites: second (of 3)"
    # None of these lines reads as a runner's own closing line ("N passed, N failed").
    assert not any(" passed," in line or " failed," in line for line in summary)


def test_a_quiet_step_shows_its_output_only_when_it_fails(tmp_path):
    quiet = subprocess.run([TOOLS / "quietly", "logs/ok.log", "sh", "-c", "echo building; echo noise >&2"],
                           cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert (quiet.returncode, quiet.stdout, quiet.stderr) == (0, "", "")
    assert (tmp_path / "logs" / "ok.log").read_text() == "building\nnoise\n"
    loud = subprocess.run([TOOLS / "quietly", "logs/bad.log", "sh", "-c", "echo 'error: x.cpp:3'; exit 3"],
                          cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert loud.returncode == 3
    assert "error: x.cpp:3" in loud.stderr and "logs/bad.log" in loud.stderr
