#!/usr/bin/env python3
"""Measures how far analyze_timed runs past its budget.

Runs analyze_timed(255, budget) for budgets 0..50 ms over positions from
seeded random games and random placements, timing each call with the
monotonic clock around the Python call (so the binding's own work and the
dict are included). Prints the overshoot (elapsed minus budget) as median,
99th percentile and worst, overall and per budget, and the worst case's
position and budget. Not a test: the machine's load decides the tail, so the
same figures are also given for the thread's CPU time, which does not count
the time the thread spent descheduled (a lower bound on the engine's own
lateness; the wall-clock figure is the upper bound).

    python tools/measure_overshoot.py [--positions N] [--seed S]
"""

import argparse
import random
import statistics
import time

from tovak_python import Position

SQUARES = [f + r for r in "12345678" for f in "abcdefgh"]
BUDGETS_MS = [0, 1, 2, 3, 5, 10, 20, 35, 50]


def positions(count, seed):
    rng = random.Random(seed)
    out = []
    for i in range(count):
        if i % 3 == 2:
            p = Position.empty(rng.choice(["white", "black"]))
            for j, square in enumerate(rng.sample(SQUARES, 2 * rng.randint(3, 16))):
                p.set_piece("white" if j % 2 == 0 else "black", square)
        else:
            p = Position()
            for _ in range(rng.randint(0, 80)):
                moves = p.legal_moves()
                if not moves:
                    break
                p.apply_move(rng.choice(moves))
        out.append(p)
    return out


def percentile(values, q):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(q * len(ordered)))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--positions", type=int, default=60)
    parser.add_argument("--seed", type=int, default=2024)
    args = parser.parse_args()

    sample = positions(args.positions, args.seed)
    wall = {b: [] for b in BUDGETS_MS}
    cpu = {b: [] for b in BUDGETS_MS}
    worst = (float("-inf"), None, None)
    finished = 0
    for index, p in enumerate(sample):
        for budget in BUDGETS_MS:
            start_cpu = time.thread_time_ns()
            start = time.perf_counter_ns()
            result = p.analyze_timed(255, budget)
            elapsed_ms = (time.perf_counter_ns() - start) / 1e6
            cpu_ms = (time.thread_time_ns() - start_cpu) / 1e6
            if result["root_legal_moves"] and not result["timed_out"]:
                finished += 1  # the whole tree fitted in the budget: nothing to overshoot
                continue
            wall[budget].append(elapsed_ms - budget)
            cpu[budget].append(cpu_ms - budget)
            if elapsed_ms - budget > worst[0]:
                worst = (elapsed_ms - budget, index, budget)

    print(f"{sum(map(len, wall.values()))} timed calls over {len(sample)} positions, budgets {BUDGETS_MS} ms, "
          f"depth 255 ({finished} calls searched every depth within the budget and are left out)")
    for label, table in (("wall clock", wall), ("thread CPU", cpu)):
        every = [o for values in table.values() for o in values]
        print(f"overshoot by {label} (ms): median {statistics.median(every):.3f}, "
              f"p99 {percentile(every, 0.99):.3f}, worst {max(every):.3f}")
        for budget, values in table.items():
            print(f"  budget {budget:>2} ms: median {statistics.median(values):.3f}, "
                  f"p99 {percentile(values, 0.99):.3f}, worst {max(values):.3f}")
    print(f"worst wall-clock case: position {worst[1]}, budget {worst[2]} ms")


if __name__ == "__main__":
    main()
