"""Where ``tovak match`` keeps its games: the run directory of the dataset, and its summary.

Games are written in chunks as they finish, so a match that is stopped keeps
the games it played; the summary is written once the match is over.
"""

from __future__ import annotations

from pathlib import Path
from types import TracebackType
from typing import Any, Final

from tovak.errors import CommandError
from tovak.runs.dataset import RunDirectory, RunDirectoryError
from tovak.match.settings import MatchGame, MatchSettings
from tovak.match.result import MatchResult

__all__ = ["KIND", "MatchOutput", "settings_to_json"]

KIND: Final = "match"
"""The kind of the run directory of a match."""
CHUNK_GAMES: Final = 16
"""Games per chunk: few files for a long match, little lost if it is stopped."""


def settings_to_json(settings: MatchSettings) -> dict[str, Any]:
    """The match settings as ``run.json`` records them."""
    sprt = settings.sprt
    return {
        "players": [spec.text for spec in settings.players],
        "games": settings.games,
        "seed": settings.seed,
        "random_plies": settings.random_plies,
        "max_plies": settings.max_plies,
        "time_ms": settings.move_time_ms,
        "sprt": None
        if sprt is None
        else {"elo0": sprt.elo0, "elo1": sprt.elo1, "alpha": sprt.alpha, "beta": sprt.beta},
    }


class MatchOutput:
    """The open run directory of one match."""

    def __init__(self, run_dir: RunDirectory) -> None:
        self._run_dir = run_dir
        self._writer = run_dir.writer()

    @classmethod
    def create(cls, out: str, settings: MatchSettings) -> MatchOutput:
        """Start the run directory ``out``; a directory that is not new or empty is refused."""
        try:
            return cls(RunDirectory.create(Path(out), KIND, settings_to_json(settings)))
        except RunDirectoryError as error:
            raise CommandError(str(error)) from None

    def add(self, game: MatchGame) -> None:
        """Keep a finished game; it is written with the next chunk."""
        self._writer.add(game.record)
        if self._writer.pending >= CHUNK_GAMES:
            self._writer.flush()

    def finish(self, result: MatchResult, seconds: float) -> None:
        """Write the games still kept, then ``summary.json``."""
        self._writer.flush()
        self._run_dir.write_summary(result.summary(seconds))

    def __enter__(self) -> MatchOutput:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        value: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        try:
            if kind is not None:
                self._writer.flush()  # an interrupted match keeps the games it finished
        finally:
            self._run_dir.close()
