"""The ``tovak`` command: play against the engine, analyse positions, self-play."""

from tovak.cli.app import main

__all__ = ["main"]
