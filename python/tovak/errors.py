"""The failure that the library's runs and the ``tovak`` command report in one line.

A resumable run, a run directory that cannot be used, a cluster that cannot
be reached: each is a :class:`CommandError` with the message to show and the
exit status the command ends with, so that a Python caller and the command
report the same thing.
"""

from __future__ import annotations

__all__ = ["USAGE_ERROR", "CommandError"]

USAGE_ERROR = 2
"""The exit status of a command refused for its arguments or its directory."""


class CommandError(Exception):
    """A failure to report as one line on stderr, with an exit status."""

    def __init__(self, message: str, status: int = 1):
        super().__init__(message)
        self.status = status
