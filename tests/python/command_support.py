"""Running the ``tovak`` command (and other Python programs) in a child process.

A child that a test interrupts gets the default SIGINT from here: a shell
starts a background job (``make test &``) with SIGINT ignored, a child
inherits that, and an interpreter started with SIGINT ignored never turns
Ctrl-C into KeyboardInterrupt. The tests would then hold the command to an
interrupt it could not have received.
"""

import signal
import subprocess
import sys

TOVAK = (sys.executable, "-m", "tovak")


def default_sigint():
    """For ``preexec_fn``: the child reacts to SIGINT however this process was started."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def tovak(*args, stdin="", timeout=300, **options):
    """Run ``tovak ARGS`` to its end, with ``stdin`` as its input; the completed process, its output as text."""
    return subprocess.run(
        [*TOVAK, *args], input=stdin, capture_output=True, text=True, timeout=timeout, **options
    )


def start_tovak(*args, **options):
    """Start ``tovak ARGS`` with its output streams as text pipes, ready to be interrupted."""
    return start_python("-m", "tovak", *args, **options)


def start_python(*args, stdin=None, **options):
    """Start ``python ARGS`` with its output streams as text pipes, ready to be interrupted."""
    return subprocess.Popen(
        [sys.executable, *args],
        stdin=stdin,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        preexec_fn=default_sigint,
        **options,
    )
