"""The rules of movement written out the slow, obvious way, for the tests to
hold the module against: the pair loop that lists a side's moves, the pairs
that support a move, and the first rule that refuses a move.

A board is a dict from square names to the colour standing there; empty
squares are absent."""

SQUARES = [f + r for r in "12345678" for f in "abcdefgh"]  # index order: a1 = 0, h8 = 63
ALL_MOVES = [a + "-" + b for a in SQUARES for b in SQUARES]
OTHER = {"white": "black", "black": "white"}

INDEX = {square: i for i, square in enumerate(SQUARES)}


def coords(square):
    """(file, rank), both 0..7."""
    i = INDEX[square]
    return i % 8, i // 8


def square_at(file, rank):
    return SQUARES[file + 8 * rank]


def board_of(position):
    """The board a module position shows."""
    return {s: position.piece_at(s) for s in SQUARES if position.piece_at(s) is not None}


def own_squares(board, side):
    """The side's squares in index order."""
    return sorted((s for s, c in board.items() if c == side), key=INDEX.__getitem__)


def reference_legal_moves(board, side):
    """The pair loop: pairs of the side's squares in order, each pair's pivot
    applied to every own piece, a move kept at its first appearance."""
    own = own_squares(board, side)
    moves, seen = [], set()
    for i in range(len(own)):
        for j in range(i + 1, len(own)):
            (fi, ri), (fj, rj) = coords(own[i]), coords(own[j])
            for origin in own:
                fo, ro = coords(origin)
                ft, rt = fi + fj - fo, ri + rj - ro
                if not (0 <= ft < 8 and 0 <= rt < 8):
                    continue
                target = square_at(ft, rt)
                if board.get(target) == side:
                    continue
                mv = origin + "-" + target
                if mv not in seen:
                    seen.add(mv)
                    moves.append(mv)
    return moves


def reference_supporting_pivots(board, side, mv):
    """Pairs of the side's squares, neither the origin, whose midpoint is the
    move's, in pair order, whatever stands on the move's squares."""
    origin, target = mv.split("-")
    (fo, ro), (ft, rt) = coords(origin), coords(target)
    pf, pr = fo + ft, ro + rt
    own = [s for s in own_squares(board, side) if s != origin]
    found = []
    for i in range(len(own)):
        for j in range(i + 1, len(own)):
            (fi, ri), (fj, rj) = coords(own[i]), coords(own[j])
            if fi + fj == pf and ri + rj == pr:
                centre = square_at(pf // 2, pr // 2) if pf % 2 == 0 and pr % 2 == 0 else None
                found.append({"supports": [own[i], own[j]], "file_twice": pf, "rank_twice": pr,
                              "center_square": centre})
    return found


def reference_move_error(board, side, mv):
    """The message of the first rule that refuses `mv` for `side`, or None
    when the move is legal."""
    origin, target = mv.split("-")
    if origin == target:
        return "start and destination must differ"
    if board.get(origin) is None:
        return "origin square is empty"
    if board[origin] != side:
        return "piece does not belong to player to move"
    if board.get(target) == side:
        return "destination is occupied by a friendly piece"
    if not reference_supporting_pivots(board, side, mv):
        return "no supporting pivot exists for this move"
    return None
