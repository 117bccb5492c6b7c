"""The line protocol between a match and its players, and its two servers.

- :mod:`tovak.protocol.lines`: the requests and events, one JSON object a
  line, their parsing and the loop that answers requests
  (``answer_requests``);
- :mod:`tovak.protocol.search_server`: the engine's search served over the
  protocol (``tovak engine``);
- :mod:`tovak.protocol.function_server`: a Python function served over the
  protocol (``python -m tovak.protocol.function_server MODULE:FUNCTION``),
  as a match's ``python:`` player runs it.
"""
