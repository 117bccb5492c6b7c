"""Python-function players for the match tests (``python:function_bots:NAME``)."""

calls = 0


def first_move(position):
    print("function players may print: it must not reach the protocol")
    return position.legal_moves()[0]


def raises_on_second_move(position):
    global calls
    calls += 1
    if calls == 2:
        raise ValueError("no idea what to play")
    return position.legal_moves()[0]


def illegal_on_second_move(position):
    global calls
    calls += 1
    return "h8-a1" if calls == 2 else position.legal_moves()[0]
