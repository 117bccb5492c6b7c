"""The batched tree search through tovak.mcts, in one run (the machine is
shared: compare the figures of one run only).

    python bench/mcts_bench.py [--games N] [--simulations S] [--leaf-rounds R]

1. The built-in evaluator "uniform" over N games (256) from the initial
   position, S simulations each (800), with 1 and 2 threads: simulations
   per second of wall time (goal: 1,000,000 with 2 threads), and the ratio.
2. The ask-and-answer loop at 1024 leaves a round (1024 games, one leaf
   each) with a trivial numpy network (zero logits, zero values, made anew
   each round): the wall time per leaf of the whole loop, of the network
   alone (timed apart on the same leaves), and the difference, which is the
   search's and the binding's cost (goal: at most 3 us per leaf); and the
   same with the network's answer made once, reused every round.
"""

import argparse
import time

import numpy as np

from tovak.mcts import Search
from tovak.vector import Games


def builtin_rate(num_games, simulations, threads):
    games = Games(num_games, seed=1)
    search = Search(games, simulations=simulations, seed=1, threads=threads)
    search.begin()
    search.run("uniform")  # warm: the trees' arrays reach their size
    search.begin()
    started = time.perf_counter()
    search.run("uniform")
    elapsed = time.perf_counter() - started
    assert (search.result().visits.sum(axis=1) == simulations).all()
    return num_games * simulations / elapsed


def trivial_network(observation, mask):
    return np.zeros(mask.shape, np.float32), np.zeros(len(mask), np.float32)


REUSED_LOGITS = np.ones((1024, 4096), np.float32)
REUSED_VALUES = np.zeros(1024, np.float32)


def reused_network(observation, mask):
    return REUSED_LOGITS[: len(mask)], REUSED_VALUES[: len(mask)]


def loop_cost(threads, rounds, network=trivial_network):
    """Seconds per leaf of (the whole loop, the network alone) at 1024 leaves a round."""
    games = Games(1024, seed=2)
    search = Search(games, simulations=rounds - 1, seed=2, threads=threads)
    for _ in range(2):  # the first pass warms the trees
        search.begin()
        leaves_seen, network_seconds = 0, 0.0
        started = time.perf_counter()
        while (leaves := search.leaves()) is not None:
            network_started = time.perf_counter()
            logits, values = network(leaves.observation, leaves.legal_action_mask)
            network_seconds += time.perf_counter() - network_started
            search.answer(logits, values)
            leaves_seen += len(leaves)
        elapsed = time.perf_counter() - started
    return elapsed / leaves_seen, network_seconds / leaves_seen


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--games", type=int, default=256)
    parser.add_argument("--simulations", type=int, default=800)
    parser.add_argument("--leaf-rounds", type=int, default=64)
    args = parser.parse_args()

    rates = {threads: builtin_rate(args.games, args.simulations, threads) for threads in (1, 2)}
    for threads, rate in rates.items():
        print(f"built-in uniform, {args.games} games x {args.simulations} simulations, {threads} thread(s): "
              f"{rate:,.0f} simulations/s")
    print(f"  2 threads / 1 thread: {rates[2] / rates[1]:.2f}  (goal: 1,000,000/s with 2 threads)")

    for threads in (1, 2):
        total, network = loop_cost(threads, args.leaf_rounds)
        print(f"ask and answer, 1024 leaves a round, {threads} thread(s): {total * 1e6:.2f} us/leaf in all, "
              f"{network * 1e6:.2f} of them the network, {(total - network) * 1e6:.2f} beyond it (goal: <= 3)")
    # Fresh arrays of 16 MB come as untouched pages: the search's first read
    # of each page faults it in, a cost of the network's allocation that the
    # loop pays. Arrays made once show the search's own share.
    total, network = loop_cost(1, args.leaf_rounds, reused_network)
    print(f"  the same, 1 thread, answered from arrays made once: {(total - network) * 1e6:.2f} us/leaf beyond the network")


if __name__ == "__main__":
    main()
