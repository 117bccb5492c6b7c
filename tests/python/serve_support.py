"""``tovak serve`` started for real in a child process on a free port, and the
search processes it runs, seen from outside (in /proc)."""

import json
import signal
import time
import urllib.error
import urllib.request
from pathlib import Path

from command_support import start_tovak

WORKER_MARK = "tovak.analysis._worker"


class BoardServer:
    """A running ``tovak serve``: its process, the address it printed, its token."""

    def __init__(self, *args):
        self.process = start_tovak("serve", "--port", "0", *args)
        first = self.process.stdout.readline()
        if not first.startswith("The analysis board is at "):
            self.process.kill()
            _, err = self.process.communicate(timeout=10)
            raise AssertionError(f"tovak serve did not start: {first!r} {err!r}")
        self.url = first.split()[-1]
        self.token = self.url.split("?token=")[1] if "?token=" in self.url else None
        self.base = self.url.split("?")[0]
        self.lines = [first]

    def interrupt(self, timeout=30):
        """Ctrl-C: the exit status and what the server wrote on stdout and stderr."""
        self.process.send_signal(signal.SIGINT)
        out, err = self.process.communicate(timeout=timeout)
        return self.process.returncode, "".join(self.lines) + out, err

    def close(self):
        if self.process.poll() is None:
            self.interrupt()

    def workers(self):
        """The pids of the live search processes the server started."""
        return search_processes(self.process.pid)

    def request(self, path, body=None, *, method=None, headers=None, raw=None):
        """One request; (status, decoded JSON or text body). ``body`` is sent as JSON, ``raw`` as is."""
        data = raw if raw is not None else (None if body is None else json.dumps(body).encode())
        sent = dict(headers or {})
        if body is not None:
            sent.setdefault("Content-Type", "application/json")
        req = urllib.request.Request(self.base.rstrip("/") + path, data=data, headers=sent, method=method)
        try:
            with urllib.request.urlopen(req, timeout=60) as response:
                return response.status, _decoded(response.read(), response.headers)
        except urllib.error.HTTPError as error:
            return error.code, _decoded(error.read(), error.headers)


def _decoded(body, headers):
    if headers.get("content-type", "").startswith("application/json"):
        return json.loads(body)
    return body.decode()


def search_processes(parent):
    """The live (not yet reaped or zombie) analysis processes whose parent is ``parent``."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            stat = (entry / "stat").read_text()
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        # The fields after the command's name, which is in parentheses: state, ppid, ...
        state, ppid = stat[stat.rindex(")") + 2 :].split()[:2]
        if int(ppid) == parent and state != "Z" and WORKER_MARK in command:
            found.append(int(entry.name))
    return sorted(found)


def alive(pid):
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return stat[stat.rindex(")") + 2] != "Z"


def wait_until(condition, timeout=30, interval=0.05, message="the condition"):
    """Poll ``condition`` until it gives a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {message}")
        time.sleep(interval)


def read_events(response):
    """The server-sent events of an open response, as (name, data) pairs, until it ends."""
    name, data = None, []
    for raw in response:
        text = raw.decode().rstrip("\n")
        if text.startswith("event: "):
            name = text[len("event: "):]
        elif text.startswith("data: "):
            data.append(text[len("data: "):])
        elif text == "" and name is not None:
            yield name, json.loads("\n".join(data))
            name, data = None, []


