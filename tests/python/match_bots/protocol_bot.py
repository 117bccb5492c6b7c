"""A small bot in the engine's line protocol, run by the match tests as ``cmd:``.

It plays the first legal move. Its one argument makes it misbehave on its
second move instead: ``crash`` raises, ``illegal`` answers a move that is
not legal, ``hang`` never answers, ``garbage`` writes a line that is not
JSON. It reads positions only through the protocol, as any outside program
would.
"""

import json
import sys
import time

from tovak_python import Position

from tovak.notation import from_text


def send(event):
    sys.stdout.write(json.dumps(event) + "\n")
    sys.stdout.flush()


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else "first"
    position = Position()
    moves_made = 0
    for line in sys.stdin:
        request = json.loads(line)
        command = request["cmd"]
        if command == "hello":
            send({"event": "hello", "name": f"bot-{mode}", "version": "1", "protocol": 1})
        elif command == "position":
            text = request.get("position")
            position = Position() if text is None else from_text(text)
            for move in request.get("moves", []):
                position.apply_move(move)
        elif command == "go":
            moves_made += 1
            if moves_made == 2 and mode == "crash":
                raise RuntimeError("bot exploded")
            if moves_made == 2 and mode == "hang":
                time.sleep(3600)
            if moves_made == 2 and mode == "garbage":
                print("thinking very hard", flush=True)
            move = position.legal_moves()[0]
            if moves_made == 2 and mode == "illegal":
                move = "e4-e5" if not position.is_legal_move("e4-e5") else "d4-d5"
            send({"event": "info", "depth": 1, "score": 0, "pv": [move], "nodes": 1,
                  "quiescence_nodes": 0, "time_ms": 0})
            send({"event": "bestmove", "move": move, "score": 0, "depth": 1})
        elif command == "quit":
            return


if __name__ == "__main__":
    main()
