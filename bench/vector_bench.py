"""Steps per second of the batched games, next to the turn-by-turn
environment in the same run (the machine is shared, so the ratio is the
figure to read), and the cost of one position's planes and mask.

    python bench/vector_bench.py [--games N] [--seconds S]

1. Games.step(games.sample_actions()) with N games (1024 by default), the
   observation and the mask written at every step, with 1 and with 2
   threads: game steps (plies) per second.
2. tovak.env's raw environment stepped with a random legal action from its
   own mask, turn by turn: steps per second, and the ratio.
3. planes + legal_mask of one position through tovak.features (C++ from
   the letters diagram) against the first pure-Python features kept in the
   tests (tests/python/rl_reference.py).
4. PettingZoo's own performance_benchmark (5 seconds of random legal turns
   through the wrapped environment) on tovak.env.env() and on the first
   pure-Python environment: turns per second before and after, and the ratio.
"""

import argparse
import contextlib
import io
import re
import sys
import time
import timeit
from pathlib import Path

import numpy as np
from tovak_python import Position

from pettingzoo.test import performance_benchmark

from tovak.env import env, raw_env
from tovak.features import legal_mask, planes
from tovak.vector import Games

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "python"))
import rl_reference  # the slow reference lives with the tests


def batched_rate(num_games, threads, seconds):
    games = Games(num_games, threads=threads, seed=1)
    games.reset(seed=1)
    for _ in range(20):
        games.step(games.sample_actions())
    steps, started = 0, time.perf_counter()
    while (elapsed := time.perf_counter() - started) < seconds:
        for _ in range(20):
            games.step(games.sample_actions())
        steps += 20 * num_games
    return steps / elapsed


def turn_by_turn_rate(seconds, make_env=raw_env):
    env = make_env(max_plies=200)
    env.reset(seed=1)
    rng = np.random.default_rng(1)
    steps, started = 0, time.perf_counter()
    while (elapsed := time.perf_counter() - started) < seconds:
        agent = env.agent_selection
        if env.terminations[agent] or env.truncations[agent]:
            env.reset()
            continue
        mask = env.observe(agent)["action_mask"]
        env.step(int(rng.choice(np.flatnonzero(mask))))
        steps += 1
    return steps / elapsed


def one_position_costs():
    position = Position()
    names = {"p": position, "planes": planes, "legal_mask": legal_mask,
             "slow_planes": rl_reference.planes, "slow_legal_mask": rl_reference.legal_mask}
    fast = timeit.Timer("planes(p); legal_mask(p)", globals=names)
    slow = timeit.Timer("slow_planes(p); slow_legal_mask(p)", globals=names)
    best_fast = min(fast.repeat(7, 20_000)) / 20_000 * 1e6
    best_slow = min(slow.repeat(5, 500)) / 500 * 1e6
    return best_fast, best_slow


def pettingzoo_turns_per_second(environment):
    """The figure PettingZoo's performance_benchmark prints (it runs for 5 seconds)."""
    printed = io.StringIO()
    with contextlib.redirect_stdout(printed):
        performance_benchmark(environment)
    return float(re.search(r"([0-9.e+]+) turns per second", printed.getvalue()).group(1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=1024)
    parser.add_argument("--seconds", type=float, default=3.0)
    args = parser.parse_args()
    one = batched_rate(args.games, 1, args.seconds)
    two = batched_rate(args.games, 2, args.seconds)
    turn = turn_by_turn_rate(args.seconds)
    first_turn = turn_by_turn_rate(args.seconds, rl_reference.raw_env)
    print(f"Games.step + sample_actions, N={args.games}, obs and mask each step:")
    print(f"  1 thread : {one:12,.0f} steps/s   (target 1,000,000)")
    print(f"  2 threads: {two:12,.0f} steps/s   (target 2,000,000; {two / one:.2f}x one thread)")
    print(f"turn-by-turn tovak.env (raw_env, random legal actions): {turn:,.0f} steps/s")
    print(f"  ratio: {one / turn:,.0f}x with 1 thread, {two / turn:,.0f}x with 2 (target 500x)")
    print(f"the first, pure-Python tovak.env the same way: {first_turn:,.0f} steps/s; "
          f"ratio {one / first_turn:,.0f}x with 1 thread, {two / first_turn:,.0f}x with 2")
    fast, slow = one_position_costs()
    print(f"planes + legal_mask of one position through tovak.features: {fast:.2f} us (target 5 us), "
          f"pure-Python reference {slow:.1f} us ({slow / fast:.0f}x)")
    before = pettingzoo_turns_per_second(rl_reference.env())
    after = pettingzoo_turns_per_second(env())
    print(f"PettingZoo performance_benchmark on tovak.env.env(): {after:,.0f} turns/s, "
          f"pure-Python reference {before:,.0f} turns/s ({after / before:.1f}x, target 5x)")


if __name__ == "__main__":
    main()
