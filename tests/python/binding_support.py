"""Helpers of the binding tests: square names, a full snapshot of what a
position shows, positions from seeded random games, and the move rules
written out the slow, obvious way to hold the module against."""

import random

from tovak_python import Position

SQUARES = [f + r for r in "12345678" for f in "abcdefgh"]  # index order: a1 = 0, h8 = 63
ALL_MOVES = [a + "-" + b for a in SQUARES for b in SQUARES]
OTHER = {"white": "black", "black": "white"}


def state(p):
    """Side to move and the owner of every square: everything that decides a position."""
    return p.side_to_move(), tuple(p.piece_at(s) for s in SQUARES)


def random_game_positions(seed, plies):
    """The positions of a seeded random game, the initial one first."""
    rng = random.Random(seed)
    p = Position()
    positions = [p.copy()]
    for _ in range(plies):
        moves = p.legal_moves()
        if not moves:
            break
        p.apply_move(rng.choice(moves))
        positions.append(p.copy())
    return positions


def coords(square):
    return "abcdefgh".index(square[0]), int(square[1]) - 1


def name(file, rank):
    return "abcdefgh"[file] + str(rank + 1)


def reference_legal_moves(p):
    """The pair loop of the rules: pairs of own squares in order, each pivot
    applied to every own piece, first appearance kept."""
    side = p.side_to_move()
    own = [s for s in SQUARES if p.piece_at(s) == side]
    moves, seen = [], set()
    for i in range(len(own)):
        for j in range(i + 1, len(own)):
            (fi, ri), (fj, rj) = coords(own[i]), coords(own[j])
            pf, pr = fi + fj, ri + rj
            for origin in own:
                fo, ro = coords(origin)
                ft, rt = pf - fo, pr - ro
                if not (0 <= ft < 8 and 0 <= rt < 8):
                    continue
                target = name(ft, rt)
                if p.piece_at(target) == side:
                    continue
                mv = origin + "-" + target
                if mv not in seen:
                    seen.add(mv)
                    moves.append(mv)
    return moves


def reference_supporting_pivots(p, mv):
    """Pairs of the side to move's squares, neither the origin, whose midpoint is the move's."""
    origin, target = mv.split("-")
    (fo, ro), (ft, rt) = coords(origin), coords(target)
    own = [s for s in SQUARES if p.piece_at(s) == p.side_to_move() and s != origin]
    found = []
    for i in range(len(own)):
        for j in range(i + 1, len(own)):
            (fi, ri), (fj, rj) = coords(own[i]), coords(own[j])
            if fi + fj == fo + ft and ri + rj == ro + rt:
                pf, pr = fo + ft, ro + rt
                centre = name(pf // 2, pr // 2) if pf % 2 == 0 and pr % 2 == 0 else None
                found.append({"supports": [own[i], own[j]], "file_twice": pf, "rank_twice": pr,
                              "center_square": centre})
    return found
