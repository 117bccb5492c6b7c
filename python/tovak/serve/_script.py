"""The script of the analysis board's page.

The page holds the line being studied as texts only (the start position,
the moves, the ply shown) and asks the server for a view of it whenever it
changes; the server's view carries everything that needs the rules. Around
that one loop:

- a click picks a piece of the side to move and marks its destinations on
  an overlay drawn over the module's picture; a click on a marked square
  plays the move, any other click is ignored;
- each position shown is analysed live: an event source streams the depths
  of its search, and showing another position closes it (the server stops
  that search at once and starts the next);
- when the engine plays a side, its reply is a search of its own, streamed
  the same way, whose last depth gives the move;
- the scores found (White's view, keyed by position text) feed the
  evaluation graph, which the server draws as the replay pages do;
- the address (``#start=...&moves=...&ply=N``) follows the line and the ply
  without adding history entries, so a reload or a shared link opens the
  same board.

Every request carries the token of the page's own address, if it has one.
Answers that arrive after a newer request was made are dropped.
"""

from __future__ import annotations

__all__ = ["PAGE_SCRIPT"]

PAGE_SCRIPT = r"""
(function () {
  'use strict';
  function byId(id) { return document.getElementById(id); }
  var initial = JSON.parse(byId('initial').textContent);
  var token = new URLSearchParams(window.location.search).get('token');
  var pageId = randomHex(16);
  var board = byId('board'), statusLine = byId('status'), message = byId('message');
  var counter = byId('counter'), branchNote = byId('branch-note'), moveList = byId('moves');
  var linesBody = document.querySelector('#lines tbody'), analysisState = byId('analysis-state');
  var analysisOn = byId('analysis-on'), engineSide = byId('engine-side');
  var engineDepth = byId('engine-depth'), engineTime = byId('engine-time');
  var chartBox = byId('chart'), positionText = byId('position-text'), loadFile = byId('load-file');
  var FILES = 'abcdefgh';
  var SVG = 'http://www.w3.org/2000/svg';

  var line = {start: initial.start, moves: initial.moves.slice(), ply: initial.ply};  // as last asked for
  var view = null;        // the view shown
  var flipped = false;
  var selected = null;    // the square of the piece picked, or null
  var scores = new Map(); // position text -> White's score, deepest depth found
  var request = 0;        // the newest view request: older answers are dropped
  var analysis = null;    // the event source of the live analysis
  var analysed = null;    // the position the lines belong to
  var bestMove = null;    // the best move of the deepest depth of `analysed`
  var reply = null;       // the event source of the engine's reply
  var chartTimer = null, chartPositions = '';

  function randomHex(bytes) {
    var values = new Uint8Array(bytes);
    window.crypto.getRandomValues(values);
    return Array.prototype.map.call(values, function (v) { return (v + 256).toString(16).slice(1); }).join('');
  }

  // --- talking to the server ----------------------------------------------
  function withToken(path, params) {
    var query = new URLSearchParams(params || {});
    if (token) { query.set('token', token); }
    var text = query.toString();
    return text ? path + '?' + text : path;
  }

  function post(path, body) {
    var headers = {'Content-Type': 'application/json'};
    if (token) { headers['X-Tovak-Token'] = token; }
    return fetch(path, {method: 'POST', headers: headers, body: JSON.stringify(body)}).then(function (response) {
      if (response.ok) { return response; }
      return response.json().then(
        function (answer) { throw new Error(answer.error || response.statusText); },
        function () { throw new Error(response.status + ' ' + response.statusText); });
    });
  }

  function postJson(path, body) { return post(path, body).then(function (r) { return r.json(); }); }

  function say(text, ok) { message.textContent = text; message.className = ok ? 'ok' : ''; }

  // --- the line and its view ----------------------------------------------
  function go(start, moves, ply) {
    ply = Math.max(0, Math.min(moves.length, ply));
    line = {start: start, moves: moves, ply: ply};
    var mine = ++request;  // also drops an answer still on its way
    if (view && start === view.start && ply === view.ply && moves.join(',') === movesOf(view).join(',')) {
      return Promise.resolve();  // the board shows it already: a step past either end
    }
    return postJson('/api/view', line).then(function (answer) {
      if (mine === request) { render(answer); }
    }).catch(function (error) {
      if (mine !== request) { return; }
      say(error.message);
      if (view) { line = {start: view.start, moves: movesOf(view), ply: view.ply}; }
    });
  }

  function movesOf(v) { return v.moves.map(function (m) { return m.move; }); }

  function step(delta) { go(line.start, line.moves, line.ply + delta); }
  function jump(ply) { go(line.start, line.moves, ply); }

  function render(answer) {
    var previous = view;
    view = answer;
    line = {start: view.start, moves: movesOf(view), ply: view.ply};
    selected = null;
    board.innerHTML = view.board + '<svg id="overlay" xmlns="' + SVG + '" viewBox="0 0 512 512"></svg>';
    board.dataset.position = view.position;
    board.dataset.ply = view.ply;
    statusLine.textContent = view.status;
    counter.textContent = view.ply === 0 ? 'Start' : 'Ply ' + view.ply + ' of ' + view.moves.length;
    var later = view.moves.length - view.ply;
    branchNote.textContent = later > 0 && !view.outcome
      ? 'A move played here replaces the ' + (later === 1 ? 'move' : later + ' moves') + ' after this ply.' : '';
    if (document.activeElement !== positionText) { positionText.value = view.position; }
    renderMoves();
    writeAddress();
    if (!previous) { keepRecordedScores(); }
    var positions = view.positions.join('|');
    if (positions !== chartPositions) { chartPositions = positions; drawChart(); } else { placeMarker(); }
    if (!previous || previous.position !== view.position || analysed !== view.position) { analyse(); }
    engineTurn();
  }

  function renderMoves() {
    var parts = ['<a href="#" class="start" data-ply="0">Start position</a>'];
    var cells = [];
    if (view.positions[0].slice(-1) === 'b') { cells.push('<span></span>'); }
    view.moves.forEach(function (m, index) {
      var capture = m.capture ? ' <span title="captures on ' + m.capture + '">&times;</span>' : '';
      cells.push('<a href="#" data-ply="' + (index + 1) + '"' + (m.capture ? ' class="capture"' : '') + '>' +
                 m.move + capture + '</a>');
    });
    for (var i = 0; i < cells.length; i += 2) {
      parts.push('<span class="number">' + (i / 2 + 1) + '.</span>', cells[i], cells[i + 1] || '<span></span>');
    }
    moveList.innerHTML = parts.join('');
    var current = moveList.querySelector('a[data-ply="' + view.ply + '"]');
    if (current) {
      current.classList.add('current');
      var top = current.offsetTop, bottom = top + current.offsetHeight;
      if (top < moveList.scrollTop) { moveList.scrollTop = top - 4; }
      else if (bottom > moveList.scrollTop + moveList.clientHeight) {
        moveList.scrollTop = bottom - moveList.clientHeight + 4;
      }
    }
  }

  // --- the address ----------------------------------------------------------
  function writeAddress() {
    var params = new URLSearchParams();
    params.set('start', view.start);
    params.set('moves', movesOf(view).join(','));
    params.set('ply', String(view.ply));
    if (flipped) { params.set('flip', '1'); }
    var hash = '#' + params.toString();
    if (window.location.hash !== hash) {
      window.history.replaceState(null, '', window.location.pathname + window.location.search + hash);
    }
  }

  function readAddress() {
    var params = new URLSearchParams(window.location.hash.slice(1));
    if (!params.has('start')) { return null; }
    var moves = (params.get('moves') || '').split(',').filter(function (m) { return m !== ''; });
    var ply = params.has('ply') ? Number(params.get('ply')) : moves.length;
    return {start: params.get('start'), moves: moves, ply: isFinite(ply) ? ply : moves.length,
            flip: params.get('flip') === '1'};
  }

  // --- the board: picking and playing moves --------------------------------
  function squareAt(event) {
    var box = board.getBoundingClientRect();
    var file = Math.floor((event.clientX - box.left) / box.width * 8);
    var row = Math.floor((event.clientY - box.top) / box.height * 8);
    if (file < 0 || file > 7 || row < 0 || row > 7) { return null; }
    if (flipped) { file = 7 - file; row = 7 - row; }
    return FILES[file] + (8 - row);
  }

  function movesFrom(square) {
    return view.legal_moves.filter(function (move) { return move.split('-')[0] === square; });
  }

  function canMove() { return view && !view.outcome && reply === null && engineSide.value !== view.side_to_move; }

  function centre(square) {
    return {x: FILES.indexOf(square[0]) * 64 + 32, y: (8 - Number(square[1])) * 64 + 32};
  }

  function drawOverlay() {
    var overlay = byId('overlay');
    var parts = [];
    if (selected) {
      var at = centre(selected);
      parts.push('<rect class="selected" x="' + (at.x - 32) + '" y="' + (at.y - 32) + '" width="64" height="64" ' +
                 'fill="#f6d32d" fill-opacity="0.3" stroke="#b08800" stroke-width="4"/>');
      movesFrom(selected).forEach(function (move) {
        var target = move.split('-')[1], c = centre(target);
        if (view.pieces[target]) {
          parts.push('<circle class="target capture" data-square="' + target + '" cx="' + c.x + '" cy="' + c.y +
                     '" r="28" fill="none" stroke="#2a7d4f" stroke-width="5" opacity="0.85"/>');
        } else {
          parts.push('<circle class="target" data-square="' + target + '" cx="' + c.x + '" cy="' + c.y +
                     '" r="10" fill="#2a7d4f" opacity="0.75"/>');
        }
      });
    }
    overlay.innerHTML = parts.join('');
  }

  board.addEventListener('click', function (event) {
    if (!canMove()) { return; }
    var square = squareAt(event);
    if (square === null) { return; }
    if (selected !== null && view.legal_moves.indexOf(selected + '-' + square) >= 0) {
      play(selected + '-' + square);
      return;
    }
    // A piece that can move is picked; any other click (an empty square,
    // the other side's piece, the picked piece again) lets go of it.
    selected = (square !== selected && movesFrom(square).length > 0) ? square : null;
    drawOverlay();
  });

  function play(move) {
    var moves = movesOf(view).slice(0, view.ply).concat([move]);
    say('');
    return go(view.start, moves, moves.length);
  }

  function takeBack() {
    if (!view || view.moves.length === 0) { return; }
    stopReply();
    var moves = movesOf(view).slice(0, -1);
    // Against the engine, take back its reply too, or it would play it again.
    if (engineSide.value && moves.length > 0 && sideAfter(moves.length) === engineSide.value) {
      moves = moves.slice(0, -1);
    }
    go(view.start, moves, moves.length);
  }

  function sideAfter(ply) { return view.positions[ply].slice(-1) === 'w' ? 'white' : 'black'; }

  function flip() {
    flipped = !flipped;
    board.classList.toggle('flipped', flipped);
    drawLabels();
    if (view) { writeAddress(); }
  }

  function drawLabels() {
    var files = FILES.split(''), ranks = ['8', '7', '6', '5', '4', '3', '2', '1'];
    if (flipped) { files.reverse(); ranks.reverse(); }
    byId('files').innerHTML = files.map(function (f) { return '<span>' + f + '</span>'; }).join('');
    byId('ranks').innerHTML = ranks.map(function (r) { return '<span>' + r + '</span>'; }).join('');
  }

  // --- live analysis ----------------------------------------------------------
  function formatScore(score) {
    if (score === null || score === undefined) { return '\u2013'; }
    if (Math.abs(score) >= initial.decisive) { return score > 0 ? 'White wins' : 'Black wins'; }
    return (score > 0 ? '+' : score < 0 ? '\u2212' : '') + Math.abs(score);
  }

  function formatNodes(nodes) {
    if (nodes >= 1e6) { return (nodes / 1e6).toFixed(1) + 'M'; }
    if (nodes >= 1e4) { return Math.round(nodes / 1e3) + 'k'; }
    return String(nodes);
  }

  function stopAnalysis() {
    if (analysis) { analysis.close(); analysis = null; }
  }

  function analyse() {
    stopAnalysis();
    analysed = view.position;
    bestMove = null;
    linesBody.innerHTML = '';
    linesBody.dataset.position = view.position;
    if (view.outcome) { noteScore(view.position, view.outcome === 'white' ? initial.decisive : -initial.decisive); }
    if (!analysisOn.checked) { analysisState.textContent = 'Live analysis is off.'; return; }
    if (view.outcome) { analysisState.textContent = 'The game is over: nothing to analyse.'; return; }
    analysisState.textContent = 'Analysing\u2026';
    var position = view.position;
    var source = new EventSource(withToken('/api/search', {page: pageId, position: position, purpose: 'analysis'}));
    analysis = source;
    source.addEventListener('depth', function (event) {
      if (source !== analysis) { return; }
      var depth = JSON.parse(event.data);
      bestMove = depth.best_move;
      noteScore(position, depth.score);
      var row = document.createElement('tr');
      row.dataset.depth = depth.depth;
      row.innerHTML = '<td>' + depth.depth + '</td><td>' + formatScore(depth.score) + '</td><td>' +
        formatNodes(depth.nodes) + '</td><td class="line"></td>';
      row.lastChild.textContent = depth.line.join(' ');
      row.lastChild.title = depth.line.join(' ');
      linesBody.insertBefore(row, linesBody.firstChild);
      analysisState.textContent = 'Depth ' + depth.depth + ' complete; searching deeper\u2026';
    });
    source.addEventListener('end', function (event) {
      source.close();
      if (source !== analysis) { return; }
      analysis = null;
      var end = JSON.parse(event.data);
      analysisState.textContent = end.reason === 'complete' ? 'Analysis complete to depth ' + end.depth + '.'
        : 'Analysis ended (' + end.reason + ') at depth ' + end.depth + '.';
    });
    source.addEventListener('error', function () {
      source.close();
      if (source !== analysis) { return; }
      analysis = null;
      analysisState.textContent = 'The analysis stopped: the server did not answer.';
    });
  }

  analysisOn.addEventListener('change', function () {
    if (!view) { return; }
    if (analysisOn.checked) { analyse(); } else { stopAnalysis(); analysisState.textContent = 'Live analysis is off.'; }
  });

  // --- the engine's moves -----------------------------------------------------
  function engineLimits() {
    var limits = {}, depth = Number(engineDepth.value), time = Number(engineTime.value);
    if (engineTime.value !== '' && time >= 1) { limits.time_ms = String(Math.floor(time)); }
    if (engineDepth.value !== '' && depth >= 1) { limits.depth = String(Math.floor(depth)); }
    return limits;
  }

  function stopReply() {
    if (reply) { reply.close(); reply = null; }
  }

  // The engine's choice for the position shown, played when it comes if the
  // board still shows that position.
  function askEngine(why) {
    stopReply();
    var asked = view;
    var params = engineLimits();
    params.page = pageId;
    params.position = asked.position;
    params.purpose = 'reply';
    var source = new EventSource(withToken('/api/search', params));
    reply = source;
    statusLine.textContent = why;
    source.addEventListener('end', function (event) {
      source.close();
      if (source !== reply) { return; }
      reply = null;
      var end = JSON.parse(event.data);
      if (view !== asked) { return; }
      if (end.best_move) { play(end.best_move); }
      else { statusLine.textContent = view.status; say('The engine found no move (' + end.reason + ').'); }
    });
    source.addEventListener('error', function () {
      source.close();
      if (source !== reply) { return; }
      reply = null;
      if (view === asked) { statusLine.textContent = view.status; }
      say('The engine did not answer.');
    });
  }

  function engineTurn() {
    stopReply();
    if (!view || view.outcome || engineSide.value !== view.side_to_move || view.ply !== view.moves.length) { return; }
    askEngine((view.side_to_move === 'white' ? 'White' : 'Black') + ' (the engine) is thinking\u2026');
  }

  function playBest() {
    if (!view || view.outcome || reply !== null) { return; }
    if (bestMove !== null && analysed === view.position) { play(bestMove); return; }
    askEngine('The engine is looking for the best move\u2026');
  }

  engineSide.addEventListener('change', function () { if (view) { engineTurn(); } });

  // --- the evaluation graph ---------------------------------------------------
  function noteScore(position, score) {
    if (score === null || score === undefined) { return; }
    scores.set(position, score);
    if (!chartTimer) { chartTimer = setTimeout(function () { chartTimer = null; drawChart(); }, 200); }
  }

  function drawChart() {
    if (!view) { return; }
    var asked = view.positions;
    var list = asked.map(function (p) { return scores.has(p) ? scores.get(p) : null; });
    post('/api/chart', {scores: list}).then(function (r) { return r.json(); }).then(function (answer) {
      if (view.positions !== asked) { return; }
      chartBox.innerHTML = answer.chart;
      placeMarker();
    }).catch(function (error) { say(error.message); });
  }

  function placeMarker() {
    var chart = chartBox.querySelector('svg'), marker = chart && chart.querySelector('#chart-marker');
    if (!marker || !view) { return; }
    var x = Number(chart.dataset.left) + (view.ply + 0.5) * Number(chart.dataset.column);
    marker.setAttribute('x1', x);
    marker.setAttribute('x2', x);
  }

  chartBox.addEventListener('click', function (event) {
    var chart = chartBox.querySelector('svg');
    if (!chart || !view) { return; }
    var box = chart.getBoundingClientRect();
    var x = (event.clientX - box.left) * chart.viewBox.baseVal.width / box.width;
    jump(Math.floor((x - Number(chart.dataset.left)) / Number(chart.dataset.column)));
  });

  // --- loading, copying, downloading ------------------------------------------
  function openGame(game, note) {
    stopReply();
    go(game.start, game.moves, game.moves.length).then(function () { if (note) { say(note, true); } });
  }

  loadFile.addEventListener('change', function () {
    var file = loadFile.files[0];
    if (!file) { return; }
    file.text().then(function (text) { return postJson('/api/load', {text: text}); })
      .then(function (game) { openGame(game, 'Loaded ' + file.name + '.'); })
      .catch(function (error) { say(error.message); })
      .then(function () { loadFile.value = ''; });
  });

  byId('set-position').addEventListener('click', function () {
    postJson('/api/load', {text: positionText.value})
      .then(function (game) { openGame(game, 'Started from the position text.'); })
      .catch(function (error) { say(error.message); });
  });

  byId('copy-position').addEventListener('click', function () {
    if (!view) { return; }
    var text = view.position;
    positionText.value = text;
    function fallback() {
      positionText.select();
      say(document.execCommand('copy') ? 'Copied the position text.' : 'Select the text in the field to copy it.',
          true);
    }
    if (navigator.clipboard && window.isSecureContext) {
      navigator.clipboard.writeText(text).then(function () { say('Copied the position text.', true); }, fallback);
    } else { fallback(); }
  });

  byId('download').addEventListener('click', function () {
    if (!view) { return; }
    post('/api/game-file', {start: view.start, moves: movesOf(view)}).then(function (r) { return r.blob(); })
      .then(function (blob) {
        var url = URL.createObjectURL(blob), link = document.createElement('a');
        link.href = url;
        link.download = 'game.json';
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(function () { URL.revokeObjectURL(url); }, 10000);
        say('Downloaded game.json.', true);
      }).catch(function (error) { say(error.message); });
  });

  // --- buttons and keys -------------------------------------------------------
  byId('first').addEventListener('click', function () { jump(0); });
  byId('prev').addEventListener('click', function () { step(-1); });
  byId('next').addEventListener('click', function () { step(1); });
  byId('last').addEventListener('click', function () { jump(line.moves.length); });
  byId('flip').addEventListener('click', flip);
  byId('takeback').addEventListener('click', takeBack);
  byId('best').addEventListener('click', playBest);
  moveList.addEventListener('click', function (event) {
    var link = event.target.closest('a[data-ply]');
    if (!link) { return; }
    event.preventDefault();
    jump(Number(link.dataset.ply));
  });
  document.addEventListener('keydown', function (event) {
    if (event.altKey || event.ctrlKey || event.metaKey) { return; }  // the browser's shortcuts
    var tag = event.target.tagName;
    if (tag === 'INPUT' || tag === 'SELECT' || tag === 'TEXTAREA') { return; }  // typing
    if (event.key === 'ArrowRight') { step(1); }
    else if (event.key === 'ArrowLeft') { step(-1); }
    else if (event.key === 'Home') { jump(0); }
    else if (event.key === 'End') { jump(line.moves.length); }
    else if (event.key === 'b') { playBest(); }
    else if (event.key === 'f') { flip(); }
    else if (event.key === 'u') { takeBack(); }
    else { return; }
    event.preventDefault();
  });
  // An address edited by hand names another line or ply: show it.
  window.addEventListener('hashchange', function () {
    var wanted = readAddress();
    if (!wanted) { return; }
    if (wanted.flip !== flipped) { flip(); }
    go(wanted.start, wanted.moves, wanted.ply);
  });

  // --- opening ------------------------------------------------------------------
  // The scores a recorded game came with are known before any analysis.
  function keepRecordedScores() {
    var same = view.start === initial.start;
    for (var index = 0; same && index < initial.scores.length && index < view.positions.length; index++) {
      var score = initial.scores[index];
      if (score !== null && !scores.has(view.positions[index])) { scores.set(view.positions[index], score); }
      same = index < initial.moves.length && index < view.moves.length &&
        initial.moves[index] === view.moves[index].move;
    }
  }

  drawLabels();
  var wanted = readAddress();
  if (wanted && wanted.flip) { flip(); }
  var opening = wanted ? go(wanted.start, wanted.moves, wanted.ply) : go(line.start, line.moves, line.ply);
  opening.then(function () {
    // An address that names no valid line falls back on the game the server opened.
    if (!view) { go(initial.start, initial.moves.slice(), initial.ply); }
  });
})();
""".strip()
