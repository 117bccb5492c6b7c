"""Costs of the module's hot calls, as ratios to plain Python work measured
in the same run (the machine is shared, so only ratios mean anything).

    python bench/python_bench.py [--playout-exe PATH] [--games N]

1. legal_moves(), is_legal_move(), apply_move() and copy() on the initial
   position, each next to list(t) for a tuple t of 62 existing strings (the
   size of the initial move list): the reference for "build a list of 62
   references".
2. A random playout loop written in Python against the module, next to the
   same loop on the C++ core (bench/playout_bench.cpp, built by
   `cmake -DTOVAK_BUILD_BENCH=ON` as playout_bench). Both cut a game off at
   the same ply cap, since three pieces against three can shuffle for ever.
"""

import argparse
import random
import shutil
import subprocess
import sys
import time
import timeit
from pathlib import Path

from tovak_python import Position

ROOT = Path(__file__).resolve().parents[1]
PLY_CAP = 1000
EXE_CANDIDATES = ["build/bench/bench/playout_bench", "build/binding/bench/bench/playout_bench"]


def side_by_side(stmt, reference, names, number, repeat=15):
    """Best times per call in nanoseconds of `stmt` and of `reference`, their
    repeats interleaved so that both see the same load (the minimum is the
    least disturbed run)."""
    timers = [timeit.Timer(stmt, globals=names), timeit.Timer(reference, globals=names)]
    best = [float("inf"), float("inf")]
    for _ in range(repeat):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number) / number * 1e9)
    return best[0], best[1]


# (name, statement on the initial position p, calls per measurement)
CALLS = [
    ("legal_moves()", "p.legal_moves()", 50_000),
    ("is_legal_move('h1-g3')", "p.is_legal_move('h1-g3')", 100_000),
    ("is_legal_move('e2-e4')", "p.is_legal_move('e2-e4')", 100_000),
    # apply_move needs a fresh position each time: copy + apply_move,
    # less the copy measured alone.
    ("copy().apply_move('a1-b3')", "p.copy().apply_move('a1-b3')", 100_000),
    ("copy()", "p.copy()", 100_000),
]


def call_costs():
    """(name, ns per call, ns per list(t) in the same measurement) per call."""
    p = Position()
    t = tuple(p.legal_moves())
    assert len(t) == 62
    names = {"p": p, "t": t}
    rows = []
    for name, stmt, number in CALLS:
        ns, reference = side_by_side(stmt, "list(t)", names, number)
        rows.append((name, ns, reference))
    return rows


def python_playouts(games, seed=1, position_class=Position):
    rng = random.Random(seed)
    plies = 0
    start = time.perf_counter()
    for _ in range(games):
        p = position_class()
        ply = 0
        while ply < PLY_CAP and p.outcome() is None:
            p.apply_move(rng.choice(p.legal_moves()))
            ply += 1
        plies += ply
    return plies, time.perf_counter() - start


def cpp_playouts(exe, games):
    out = subprocess.run([str(exe), str(games), str(PLY_CAP)], capture_output=True, text=True, check=True).stdout
    fields = out.split()
    values = dict(zip(fields[::2], fields[1::2]))
    return int(values["plies"]), float(values["seconds"])


def find_exe(given):
    if given:
        return Path(given)
    for candidate in EXE_CANDIDATES:
        if (ROOT / candidate).is_file():
            return ROOT / candidate
    found = shutil.which("playout_bench")
    return Path(found) if found else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--playout-exe", help="path of the playout_bench executable")
    parser.add_argument("--games", type=int, default=100)
    args = parser.parse_args()

    print(f"Python {sys.version.split()[0]}")
    rows = call_costs()
    print(f"{'call on the initial position':30} {'ns':>7} {'list(t) ns':>11} {'ratio':>7}")
    for name, ns, reference in rows:
        print(f"{name:30} {ns:7.0f} {reference:11.0f} {ns / reference:7.2f}")
    by_name = {name: (ns, reference) for name, ns, reference in rows}
    apply_ns = by_name["copy().apply_move('a1-b3')"][0] - by_name["copy()"][0]
    print(f"{'apply_move() alone (difference)':30} {apply_ns:7.0f} {by_name['copy()'][1]:11.0f} "
          f"{apply_ns / by_name['copy()'][1]:7.2f}")

    plies, seconds = python_playouts(args.games)
    python_rate = plies / seconds
    print(f"\nrandom playouts, {args.games} games, cap {PLY_CAP} plies")
    print(f"{'Python loop over the module':32} {python_rate:12.0f} plies/s")
    exe = find_exe(args.playout_exe)
    if exe is None:
        print("C++ loop: playout_bench not found (configure with -DTOVAK_BUILD_BENCH=ON and build it)")
        return
    cpp_plies, cpp_seconds = cpp_playouts(exe, args.games)
    cpp_rate = cpp_plies / cpp_seconds
    print(f"{'C++ loop over the core':32} {cpp_rate:12.0f} plies/s")
    print(f"{'C++ / Python':32} {cpp_rate / python_rate:12.1f}")


if __name__ == "__main__":
    main()
