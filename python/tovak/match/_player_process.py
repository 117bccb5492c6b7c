"""A player running as a child process that speaks the line protocol.

The match runner's side of the protocol: start the program, send requests,
read events with a deadline, and take it down again. Every way a program can
misbehave ends in :class:`PlayerFailure` with one of the reasons of
:mod:`tovak.match.player_failure` and a detail for the record, never in a hang of
the runner: reads wait at most until their deadline, standard error is
drained while waiting (and its last lines kept for the report), and the
program runs in a session of its own so that it and any children it started
can be killed together.
"""

from __future__ import annotations

import json
import os
import selectors
import signal
import subprocess
import time
from collections.abc import Sequence
from typing import Any, Final

from tovak.match.player_failure import CRASH, PROTOCOL_ERROR, TIME, PlayerFailure
from tovak.protocol.lines import encode

__all__ = ["PlayerProcess"]

MAX_LINE_BYTES: Final = 1 << 20
"""The longest event line accepted; a program that writes more is broken."""

STDERR_TAIL_BYTES: Final = 4096
QUIT_GRACE_SECONDS: Final = 1.0


class PlayerProcess:
    """One running player program and the unread part of its output."""

    def __init__(self, argv: Sequence[str]) -> None:
        try:
            self._process = subprocess.Popen(
                list(argv),
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=subprocess.PIPE,
                start_new_session=True,
            )
        except OSError as error:
            raise PlayerFailure(CRASH, f"cannot start {argv[0]!r}: {error.strerror or error}") from None
        assert self._process.stdout is not None and self._process.stderr is not None
        self._stdout_fd = self._process.stdout.fileno()
        self._stderr_fd = self._process.stderr.fileno()
        os.set_blocking(self._stdout_fd, False)
        os.set_blocking(self._stderr_fd, False)
        self._selector = selectors.DefaultSelector()
        self._selector.register(self._stdout_fd, selectors.EVENT_READ)
        self._selector.register(self._stderr_fd, selectors.EVENT_READ)
        self._pending = bytearray()
        self._stderr_tail = bytearray()
        self._stdout_open = True

    def send(self, request: dict[str, Any]) -> None:
        """Write one request line; a program that has gone away is a crash."""
        stdin = self._process.stdin
        assert stdin is not None
        try:
            stdin.write(encode(request).encode("ascii"))
            stdin.flush()
        except (BrokenPipeError, ConnectionResetError, ValueError):
            raise self._crash() from None

    def read_event(self, deadline: float) -> dict[str, Any]:
        """The next event, waiting until ``deadline`` (``time.monotonic()``) at most."""
        line = self._read_line(deadline)
        try:
            event = json.loads(line)
        except ValueError:
            raise PlayerFailure(PROTOCOL_ERROR, f"not a JSON line on standard output: {_excerpt(line)}") from None
        if not isinstance(event, dict) or not isinstance(event.get("event"), str):
            raise PlayerFailure(PROTOCOL_ERROR, f"not an event object: {_excerpt(line)}")
        return event

    def close(self) -> None:
        """Ask the program to quit, then make sure that it and its children are gone."""
        if self._process.poll() is None:
            try:
                self.send({"cmd": "quit"})
                self._process.wait(QUIT_GRACE_SECONDS)
            except (PlayerFailure, subprocess.TimeoutExpired):
                pass
        self._kill_group()
        self._process.wait()
        self._selector.close()
        for stream in (self._process.stdin, self._process.stdout, self._process.stderr):
            if stream is not None:
                try:
                    stream.close()
                except OSError:
                    pass

    def _read_line(self, deadline: float) -> bytes:
        while True:
            end = self._pending.find(b"\n")
            if end >= 0:
                line = bytes(self._pending[:end])
                del self._pending[: end + 1]
                if line.strip():
                    return line
                continue
            if len(self._pending) > MAX_LINE_BYTES:
                raise PlayerFailure(PROTOCOL_ERROR, f"an output line longer than {MAX_LINE_BYTES} bytes")
            if not self._stdout_open:
                raise self._crash()
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                self._kill_group()
                raise PlayerFailure(TIME, "no answer in time")
            for key, _ in self._selector.select(remaining):
                self._drain(key.fd)

    def _drain(self, fd: int) -> None:
        try:
            chunk = os.read(fd, 65536)
        except BlockingIOError:
            return
        if fd == self._stderr_fd:
            if not chunk:
                self._selector.unregister(fd)
                return
            self._stderr_tail += chunk
            del self._stderr_tail[:-STDERR_TAIL_BYTES]
            return
        if not chunk:
            self._selector.unregister(fd)
            self._stdout_open = False
            return
        self._pending += chunk

    def _crash(self) -> PlayerFailure:
        """The failure of a program that closed its output: how it ended, and its last words."""
        try:
            status = self._process.wait(QUIT_GRACE_SECONDS)
        except subprocess.TimeoutExpired:
            self._kill_group()
            status = self._process.wait()
        self._drain_stderr()
        if status < 0:
            how = f"killed by signal {_signal_name(-status)}"
        else:
            how = f"exited with status {status}"
        last = self._last_stderr_line()
        return PlayerFailure(CRASH, f"{how}: {last}" if last else how)

    def _drain_stderr(self) -> None:
        deadline = time.monotonic() + QUIT_GRACE_SECONDS
        while self._stderr_fd in self._selector.get_map() and time.monotonic() < deadline:
            for key, _ in self._selector.select(deadline - time.monotonic()):
                self._drain(key.fd)

    def _last_stderr_line(self) -> str:
        lines = bytes(self._stderr_tail).decode("utf-8", errors="replace").strip().splitlines()
        return lines[-1].strip()[:300] if lines else ""

    def _kill_group(self) -> None:
        try:
            os.killpg(self._process.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass


def _signal_name(number: int) -> str:
    try:
        return signal.Signals(number).name
    except ValueError:
        return str(number)


def _excerpt(line: bytes) -> str:
    text = line.decode("utf-8", errors="replace")
    return repr(text[:120] + ("..." if len(text) > 120 else ""))
