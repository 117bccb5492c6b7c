"""The limited API against the full one: the measurements of
bench/python_bench.py on the module of the wheel (abi3, limited API of 3.12)
and on the module built from source for the interpreter's full API, side by
side in one process.

    python bench/abi3_bench.py --abi3 MODULE.abi3.so --full MODULE.cpython-3XX-....so

Both files are loaded into this interpreter, each as a module object of its
own (each keeps its own Position type), so the two builds are timed in the
same run with their repeats interleaved: every row is the best time of each
build over the same stretch of load. A ratio is abi3 time / full time (for
the playout loop, time per ply), so above 1 means the limited API costs
time; the goal is at most 1.05 on every row.
"""

import argparse
import importlib.util
import sys
import timeit
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import python_bench  # noqa: E402  (the calls and the playout loop measured)

GOAL = 1.05
# Many short measurements rather than a few long ones: on a loaded machine
# the best of many is more often one that nothing disturbed.
REPEAT = 200
SHORTER = 20
PLAYOUT_ROUNDS = 9


def load(path):
    """The module in `path`, loaded under its own name but not registered as
    the imported tovak_python."""
    spec = importlib.util.spec_from_file_location("tovak_python", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def alternating(count):
    """The orders of the two builds, one per repeat: each goes first half the time."""
    return [(0, 1) if n % 2 == 0 else (1, 0) for n in range(count)]


def interleaved(timers, number):
    """Best ns per call of each timer, their repeats interleaved."""
    best = [float("inf")] * len(timers)
    for order in alternating(REPEAT):
        for i in order:
            best[i] = min(best[i], timers[i].timeit(number) / number * 1e9)
    return best


def call_rows(modules):
    """{row: [ns per build]} for the calls of python_bench.py, with the
    apply_move row as the difference of two rows, as python_bench.py gives it."""
    rows = {}
    for name, stmt, number in python_bench.CALLS:
        timers = []
        for module in modules:
            p = module.Position()
            timers.append(timeit.Timer(stmt, globals={"p": p}))
        rows[name] = interleaved(timers, number // SHORTER)
    rows["apply_move() alone (difference)"] = [
        a - c for a, c in zip(rows["copy().apply_move('a1-b3')"], rows["copy()"])]
    return rows


def playout_row(modules, games):
    """ns per ply of the Python playout loop of each build, best of the rounds."""
    best = [float("inf")] * len(modules)
    for order in alternating(PLAYOUT_ROUNDS):
        for i in order:
            plies, seconds = python_bench.python_playouts(games, position_class=modules[i].Position)
            best[i] = min(best[i], seconds / plies * 1e9)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--abi3", required=True, help="the module file of the wheel (.abi3.so)")
    parser.add_argument("--full", required=True, help="the module file built for the full API")
    parser.add_argument("--games", type=int, default=20)
    args = parser.parse_args()
    if not args.abi3.endswith(".abi3.so") or args.full.endswith(".abi3.so"):
        sys.exit(f"abi3_bench: --abi3 takes the .abi3.so module, --full the other ({args.abi3}, {args.full})")

    modules = [load(args.abi3), load(args.full)]
    assert modules[0].Position is not modules[1].Position
    assert modules[0].Position().legal_moves() == modules[1].Position().legal_moves()
    print(f"Python {sys.version.split()[0]}")
    print(f"abi3      {args.abi3}")
    print(f"full API  {args.full}")

    rows = call_rows(modules)
    rows[f"random playouts, {args.games} games (per ply)"] = playout_row(modules, args.games)
    print(f"\nbest of {REPEAT} interleaved repeats, ns per call")
    print(f"{'row':40} {'full API':>9} {'abi3':>9} {'abi3/full':>10}")
    worst = 0.0
    for name, (abi3, full) in rows.items():
        ratio = abi3 / full
        worst = max(worst, ratio)
        flag = "" if ratio <= GOAL else "  over the goal"
        print(f"{name:40} {full:9.1f} {abi3:9.1f} {ratio:10.3f}{flag}")
    verdict = "within" if worst <= GOAL else "NOT within"
    print(f"worst ratio {worst:.3f}: {verdict} {GOAL - 1:.0%} of the full API on every row")


if __name__ == "__main__":
    main()
