"""The features and the multi-agent environment as they were written first, in
pure Python over tovak_python: one Python call per square and per legal move.
Slow and plainly correct, they are the reference that the fast versions
(planes and masks from tovak._batch) are held against in the tests, and the
"before" of the environment's benchmark (bench/vector_bench.py)."""

from typing import Any

import gymnasium
import numpy as np
from gymnasium import spaces
from pettingzoo import AECEnv
from pettingzoo.utils import wrappers
from tovak_python import Position

from tovak.notation import SQUARES, from_text, square_index
from tovak.terms import opponent

ACTION_COUNT = 64 * 64
PLANE_COUNT = 3
_RANK_MIRROR = 0b111000
AGENTS = ("white", "black")


def _oriented(square, perspective):
    return square ^ _RANK_MIRROR if perspective == "black" else square


def planes(position, perspective=None):
    viewer = position.side_to_move() if perspective is None else _color(perspective)
    board = np.zeros((PLANE_COUNT, 64), dtype=np.float32)
    for square, name in enumerate(SQUARES):
        owner = position.piece_at(name)
        if owner is not None:
            board[0 if owner == viewer else 1, _oriented(square, viewer)] = 1.0
    if position.side_to_move() == viewer:
        board[2, :] = 1.0
    return board.reshape(PLANE_COUNT, 8, 8)


def move_index(move, perspective="white"):
    viewer = _color(perspective)
    parts = move.split("-") if isinstance(move, str) else []
    squares = [square_index(part) for part in parts]
    if len(squares) != 2 or squares[0] is None or squares[1] is None:
        raise ValueError(f"not a move: {move!r}")
    return _oriented(squares[0], viewer) * 64 + _oriented(squares[1], viewer)


def move_of_index(index, perspective="white"):
    viewer = _color(perspective)
    number = int(index)
    if number != index or not 0 <= number < ACTION_COUNT:
        raise ValueError(f"move number must be an integer from 0 to {ACTION_COUNT - 1}, got {index!r}")
    source, target = divmod(number, 64)
    return f"{SQUARES[_oriented(source, viewer)]}-{SQUARES[_oriented(target, viewer)]}"


def legal_mask(position, perspective=None):
    mover = position.side_to_move()
    viewer = mover if perspective is None else _color(perspective)
    mask = np.zeros(ACTION_COUNT, dtype=np.int8)
    if viewer == mover:
        for move in position.legal_moves():
            mask[move_index(move, viewer)] = 1
    return mask


def _color(name):
    if name in AGENTS:
        return name
    raise ValueError(f"perspective must be 'white' or 'black', got {name!r}")


def env(**kwargs):
    wrapped = raw_env(**kwargs)
    wrapped = wrappers.TerminateIllegalWrapper(wrapped, illegal_reward=-1)
    wrapped = wrappers.AssertOutOfBoundsWrapper(wrapped)
    return wrappers.OrderEnforcingWrapper(wrapped)


class raw_env(AECEnv):
    metadata = {"render_modes": ["ansi"], "name": "tovak_v0", "is_parallelizable": False}

    def __init__(self, render_mode=None, *, max_plies=200, random_plies=0):
        super().__init__()
        self.render_mode = render_mode
        self.max_plies = max_plies
        self.random_plies = random_plies
        self.possible_agents = list(AGENTS)
        self.observation_spaces = {agent: _observation_space() for agent in AGENTS}
        self.action_spaces = {agent: spaces.Discrete(ACTION_COUNT) for agent in AGENTS}
        self._rng = np.random.default_rng()
        self.position = Position()
        self.plies = 0
        self._reset_bookkeeping()

    def observation_space(self, agent):
        return self.observation_spaces[agent]

    def action_space(self, agent):
        return self.action_spaces[agent]

    def reset(self, seed=None, options=None):
        if seed is not None:
            self._rng = np.random.default_rng(seed)
        start = (options or {}).get("position")
        self.position = Position() if start is None else from_text(start)
        self.plies = 0
        for _ in range(self.random_plies):
            moves = self.position.legal_moves()
            if not moves:
                break
            self.position.apply_move(moves[int(self._rng.integers(len(moves)))])
        self._reset_bookkeeping()
        self._settle(rewarded=False)

    def observe(self, agent):
        return {"observation": planes(self.position, agent), "action_mask": legal_mask(self.position, agent)}

    def step(self, action):
        agent = self.agent_selection
        if self.terminations[agent] or self.truncations[agent]:
            self._was_dead_step(action)
            return
        if action is None:
            raise ValueError(f"{agent} is still playing and needs an action, got None")
        move = move_of_index(action, agent)
        if not self.position.is_legal_move(move):
            raise ValueError(f"action {int(action)} ({move}) is not a legal move for {agent}")
        self._cumulative_rewards[agent] = 0
        self.position.apply_move(move)
        self.plies += 1
        self._settle(rewarded=True)
        self._accumulate_rewards()

    def render(self):
        if self.render_mode is None:
            gymnasium.logger.warn("render() needs render_mode='ansi'; nothing was rendered.")
            return None
        return self.position.ascii_board()

    def close(self):
        pass

    def _reset_bookkeeping(self):
        self.agents = list(AGENTS)
        self.rewards = {agent: 0.0 for agent in AGENTS}
        self._cumulative_rewards = {agent: 0.0 for agent in AGENTS}
        self.terminations = {agent: False for agent in AGENTS}
        self.truncations = {agent: False for agent in AGENTS}
        self.infos = {agent: {} for agent in AGENTS}
        self.agent_selection = self.position.side_to_move()

    def _settle(self, *, rewarded):
        self.agent_selection = self.position.side_to_move()
        self.rewards = {agent: 0.0 for agent in self.agents}
        winner = self.position.outcome()
        if winner is not None:
            if rewarded:
                self.rewards[winner] = 1.0
                self.rewards[opponent(winner)] = -1.0
            self.terminations = {agent: True for agent in self.agents}
        elif self.plies >= self.max_plies:
            self.truncations = {agent: True for agent in self.agents}


def _observation_space():
    return spaces.Dict(
        {
            "observation": spaces.Box(0.0, 1.0, (PLANE_COUNT, 8, 8), dtype=np.float32),
            "action_mask": spaces.Box(0, 1, (ACTION_COUNT,), dtype=np.int8),
        }
    )
