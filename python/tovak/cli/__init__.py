"""The ``tovak`` command: play against the engine, analyze positions, self-play."""

from tovak.cli.app import main

__all__ = ["main"]
