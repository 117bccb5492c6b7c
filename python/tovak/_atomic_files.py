"""Files that appear whole or not at all.

A file is written under a hidden temporary name beside its final one, flushed
to disk, then linked to its final name, and the directory entry is flushed
too. A reader, or a process that dies at any moment, sees either nothing or
the complete file. Temporary files left by a process that died mid-write are
recognized by their name and can be removed.
"""

from __future__ import annotations

import os
from pathlib import Path

__all__ = ["TEMPORARY_SUFFIX", "remove_stale_temporaries", "write_atomically"]

TEMPORARY_SUFFIX = ".tmp"


def temporary_name(path: Path) -> Path:
    """Hidden (dataset readers skip names starting with a dot) and marked as temporary."""
    return path.with_name(f".{path.name}.{os.getpid()}{TEMPORARY_SUFFIX}")


def write_atomically(path: Path, data: bytes, *, replace: bool = False) -> None:
    """Write ``data`` to ``path`` so that it becomes visible whole.

    Without ``replace`` an existing ``path`` is never overwritten:
    ``FileExistsError`` is raised and nothing changes. On any failure (a full
    disk, say) the temporary file is removed and the error raised.
    """
    temporary = temporary_name(path)
    descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    try:
        try:
            view = memoryview(data)
            while view:
                written = os.write(descriptor, view)
                view = view[written:]
            os.fsync(descriptor)
        finally:
            os.close(descriptor)
        if replace:
            os.replace(temporary, path)
        else:
            # A hard link fails if the name exists, where a rename would
            # silently replace it.
            os.link(temporary, path)
            os.unlink(temporary)
    except OSError as error:
        _remove_quietly(temporary)
        if error.filename is None:  # as from write() and fsync(): say which file
            raise OSError(error.errno, error.strerror, os.fspath(path)) from error
        raise
    except BaseException:
        _remove_quietly(temporary)
        raise
    sync_directory(path.parent)


def sync_directory(directory: Path) -> None:
    """Flush a directory's entries, so that a new name survives a crash."""
    descriptor = os.open(directory, os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fsync(descriptor)
    finally:
        os.close(descriptor)


def remove_stale_temporaries(directory: Path) -> list[Path]:
    """Remove the temporary files that interrupted writers left in ``directory``."""
    removed = []
    for entry in directory.iterdir():
        if entry.name.startswith(".") and entry.name.endswith(TEMPORARY_SUFFIX) and entry.is_file():
            _remove_quietly(entry)
            removed.append(entry)
    return removed


def _remove_quietly(path: Path) -> None:
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass
