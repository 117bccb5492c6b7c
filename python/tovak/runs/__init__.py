"""Runs of games: how they are played, kept on disk and read back.

- :mod:`tovak.runs.records`: the record of a game and of its plies
  (``GameRecord``, ``PlyRecord``), and the one builder of plies
  (``build_ply``) that self-play and matches share;
- :mod:`tovak.runs.selfplay`: the engine against itself, each game played
  from its number alone, here or on any executor (``GameSettings``,
  ``play_game``, ``play_games``);
- :mod:`tovak.runs.batched`: self-play in batches, played in C++ by
  :mod:`tovak._batch` and handed back as the dataset's rows (``play_batch``,
  ``play_batches``): the path runs take; :mod:`tovak.runs.selfplay` is its
  reference;
- :mod:`tovak.runs.tasks`: games handed out to an executor in tasks;
- :mod:`tovak.runs.executors`: where games are played: this process, a pool
  of local processes (``spawn_pool``), a cluster (``open_executor``);
- :mod:`tovak.runs.dataset`: the run directory on disk (``RunDirectory``) and
  the one writer of its Parquet chunks (``DatasetWriter``), which takes game
  records or whole games as rows (``GameRows``);
- :mod:`tovak.runs.reader`: a run read back as a table of plies or as game
  records (``read_plies``, ``read_games``, ``read_game``);
- :mod:`tovak.runs.session`: a resumable self-play run (``SelfPlayRun``): the
  missing games played, written in chunks, interrupts saved, replays written;
- :mod:`tovak.runs.summary`: the figures of a finished run.

The records, the dataset and the reader import nothing that plays games.
Nothing is imported here, so that a worker process that only plays games
does not load the dataset's libraries.
"""
