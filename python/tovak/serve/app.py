"""The board's web application: the page, its JSON requests and its event streams.

The routes, all answered from memory (nothing is read from or written to
disk after the command has read the files named on its command line):

- ``GET /``: the page, with the game the command opened;
- ``POST /api/view`` ``{"start", "moves", "ply"}``: the view of that line at
  that ply (:mod:`tovak.serve._views`);
- ``POST /api/load`` ``{"text"}``: the game of a game file's contents or of a
  position text, as ``{"start", "moves"}``;
- ``POST /api/chart`` ``{"scores"}``: the evaluation graph of White's score at
  each position (the replay page's chart);
- ``POST /api/game-file`` ``{"start", "moves"}``: the game file, as
  ``Game.save`` writes it, to download;
- ``GET /api/search?page=ID&position=TEXT&purpose=analysis|reply[&depth=N][&time_ms=N]``:
  one search as server-sent events (:mod:`tovak.serve._events`).

A refused request gets a 4xx answer ``{"error": "..."}``, and the server
goes on serving.
"""

from __future__ import annotations

from collections.abc import AsyncGenerator, Awaitable, Callable

from starlette.applications import Starlette
from starlette.exceptions import HTTPException
from starlette.middleware import Middleware
from starlette.requests import Request
from starlette.responses import HTMLResponse, JSONResponse, Response, StreamingResponse
from starlette.routing import Route

from tovak.analysis import MAX_DEPTH, SearchLimits
from tovak.notation import from_text, to_text
from tovak.replay import chart_of_scores
from tovak.serve._access import AccessGuard
from tovak.serve._events import search_events
from tovak.serve._page import board_page
from tovak.serve._requests import RequestError, check_integer, check_page_id, read_json
from tovak.serve._searches import PoolClosed, SearchPool
from tovak.serve._views import game_of, game_view, loaded_game
from tovak.serve.settings import BoardSettings

__all__ = ["create_app"]

# The longest search a page may ask the engine for.
_MAX_REPLY_MS = 10 * 60 * 1000
_SEARCH_PARAMETERS = {"page", "position", "purpose", "depth", "time_ms", "token"}


def create_app(settings: BoardSettings, pool: SearchPool | None = None) -> Starlette:
    """The application of the board, with its own pool of searches unless one is given.

    Whoever runs the application closes the pool when it stops
    (:func:`tovak.serve.server.run_board_server` does).
    """
    searches = pool if pool is not None else SearchPool(settings.max_searches)
    page = board_page(settings)

    async def index(request: Request) -> Response:
        return HTMLResponse(page, headers=_PAGE_HEADERS)

    async def view(request: Request) -> Response:
        fields = await read_json(request, "start", "moves", "ply")
        game = game_of(fields.text("start", max_length=1000), fields.moves("moves"))
        ply = fields.integer("ply", 0, len(game.moves))
        return JSONResponse(game_view(game, ply))

    async def load(request: Request) -> Response:
        fields = await read_json(request, "text")
        game = loaded_game(fields.text("text"))
        return JSONResponse({"start": game.start, "moves": list(game.moves)})

    async def chart(request: Request) -> Response:
        fields = await read_json(request, "scores")
        scores = fields.scores("scores")
        return JSONResponse({"chart": chart_of_scores(scores)})

    async def game_file(request: Request) -> Response:
        fields = await read_json(request, "start", "moves")
        game = game_of(fields.text("start", max_length=1000), fields.moves("moves"))
        return Response(
            game.to_json() + "\n",
            media_type="application/json",
            headers={"Content-Disposition": 'attachment; filename="game.json"'},
        )

    async def search(request: Request) -> Response:
        query = request.query_params
        unknown = sorted(set(query.keys()) - _SEARCH_PARAMETERS)
        if unknown:
            raise RequestError(400, f"unknown parameter {unknown[0]!r}")
        page_id = check_page_id(query.get("page"))
        purpose = query.get("purpose", "analysis")
        if purpose not in ("analysis", "reply"):
            raise RequestError(400, "'purpose' must be 'analysis' or 'reply'")
        text = query.get("position")
        if text is None or len(text) > 1000:
            raise RequestError(400, "'position' must be a position text")
        try:
            position_text = to_text(from_text(text))
        except ValueError as error:
            raise RequestError(422, f"bad position: {error}") from None
        limits = _search_limits(query.get("depth"), query.get("time_ms"), purpose, settings.analysis_limits)
        try:
            events = search_events(searches, (page_id, purpose), position_text, limits)
            first = await anext(events)
        except PoolClosed:
            raise RequestError(503, "the server is stopping") from None
        return StreamingResponse(_chain(first, events), media_type="text/event-stream", headers=_STREAM_HEADERS)

    routes = [
        Route("/", index, methods=["GET"]),
        Route("/api/view", view, methods=["POST"]),
        Route("/api/load", load, methods=["POST"]),
        Route("/api/chart", chart, methods=["POST"]),
        Route("/api/game-file", game_file, methods=["POST"]),
        Route("/api/search", search, methods=["GET"]),
    ]
    handlers: dict[type[Exception] | int, Callable[[Request, Exception], Awaitable[Response]]] = {
        RequestError: _request_error,
        HTTPException: _http_error,
        Exception: _internal_error,
    }
    return Starlette(
        routes=routes,
        middleware=[Middleware(AccessGuard, token=settings.token)],
        exception_handlers=handlers,
    )


_PAGE_HEADERS = {
    "Cache-Control": "no-store",
    # The page runs only its own inline script and draws only its own pictures.
    "Content-Security-Policy": "default-src 'self'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "img-src 'self' data: blob:; frame-ancestors 'none'",
    "X-Content-Type-Options": "nosniff",
}
_STREAM_HEADERS = {"Cache-Control": "no-store", "X-Accel-Buffering": "no"}


async def _chain(first: str, rest: AsyncGenerator[str, None]) -> AsyncGenerator[str, None]:
    yield first
    try:
        async for event in rest:
            yield event
    finally:
        await rest.aclose()


def _search_limits(depth: str | None, time_ms: str | None, purpose: str, analysis_limits: SearchLimits) -> SearchLimits:
    if depth is None and time_ms is None:
        return analysis_limits if purpose == "analysis" else SearchLimits()
    return SearchLimits(
        depth=None if depth is None else check_integer("depth", depth, 1, MAX_DEPTH),
        time_ms=None if time_ms is None else check_integer("time_ms", time_ms, 1, _MAX_REPLY_MS),
    )


async def _request_error(request: Request, error: Exception) -> Response:
    assert isinstance(error, RequestError)
    return JSONResponse({"error": error.message}, status_code=error.status)


async def _http_error(request: Request, error: Exception) -> Response:
    assert isinstance(error, HTTPException)
    return JSONResponse({"error": error.detail}, status_code=error.status_code, headers=error.headers)


async def _internal_error(request: Request, error: Exception) -> Response:
    return JSONResponse({"error": f"internal error: {type(error).__name__}"}, status_code=500)
