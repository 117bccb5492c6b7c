"""``tovak.env``: the multi-agent environment, under the library's own checks and ours."""

import warnings

import numpy as np
import pytest
import rl_reference
from pettingzoo.test import api_test, render_test, seed_test
from tovak_python import Position

from tovak.env import env, raw_env
from tovak.features import move_index
from tovak.notation import from_text, to_text
from tovak.rl.picture import board_picture

# api_test's advice that the issue's own design overrides: the observation is a
# dict with an action mask, and the agents are named after the colours.
ADVICE = {
    "Observation is not a NumPy array",
    "Observation space for each agent probably should be gymnasium.spaces.box or gymnasium.spaces.discrete",
    'We recommend agents to be named in the format <descriptor>_<number>, like "player_0"',
    "Action mask numpy array is all zeros (no legal actions).",
}


@pytest.mark.parametrize("kwargs", [{}, {"max_plies": 30, "random_plies": 3}])
def test_passes_the_api_test(kwargs, capsys):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        api_test(env(**kwargs), num_cycles=300)
    assert {str(w.message) for w in caught} <= ADVICE
    assert "Passed API test" in capsys.readouterr().out


@pytest.mark.parametrize("kwargs", [{}, {"random_plies": 6}])
def test_passes_the_seed_test(kwargs):
    seed_test(lambda: env(**kwargs), num_cycles=200)


def play_random(game, seed):
    """Play one game with random legal actions; return the final rewards and flags."""
    game.reset(seed=seed)
    rng = np.random.default_rng(seed)
    totals = {agent: 0.0 for agent in game.possible_agents}
    ends = {}
    for agent in game.agent_iter():
        observation, reward, terminated, truncated, _ = game.last()
        totals[agent] += reward
        if terminated or truncated:
            ends[agent] = (terminated, truncated)
            game.step(None)
            continue
        assert agent == game.unwrapped.position.side_to_move()
        game.step(int(rng.choice(np.flatnonzero(observation["action_mask"]))))
    return totals, ends


def test_random_games_end_with_rewards_that_match_the_outcome():
    for seed in range(4):
        game = env(max_plies=300, random_plies=2)
        totals, ends = play_random(game, seed)
        winner = game.unwrapped.position.outcome()
        if winner is None:
            assert totals == {"white": 0.0, "black": 0.0}
            assert ends == {"white": (False, True), "black": (False, True)}
        else:
            loser = "black" if winner == "white" else "white"
            assert totals == {winner: 1.0, loser: -1.0}
            assert ends == {"white": (True, False), "black": (True, False)}


def test_the_winning_move_ends_the_game_for_both_with_plus_and_minus_one():
    game = env()
    game.reset(options={"position": "W:a1,b1,c1,d5 B:e5,g7,h8 w"})
    game.step(move_index("a1-e5"))  # a capture that leaves Black two pieces: no move
    seen = []
    for agent in game.agent_iter():
        _, reward, terminated, truncated, _ = game.last()
        seen.append((agent, reward, terminated, truncated))
        game.step(None)
    assert seen == [("black", -1, True, False), ("white", 1, True, False)]


def test_a_game_at_the_ply_limit_is_truncated_without_reward():
    game = env(max_plies=6)
    totals, ends = play_random(game, seed=1)
    assert game.unwrapped.plies == 6 and game.unwrapped.position.outcome() is None
    assert totals == {"white": 0.0, "black": 0.0}
    assert ends == {"white": (False, True), "black": (False, True)}


def test_black_acts_in_its_own_view_of_the_board():
    game = raw_env()
    game.reset()
    game.step(move_index("a1-b3"))
    assert game.agent_selection == "black"
    # Black's h8-f6 is, seen from Black's side, the mirror of White's h1-f3.
    mask = game.observe("black")["action_mask"]
    assert mask[move_index("h1-f3")] == 1 and mask[move_index("h8-f6")] == 0
    game.step(move_index("h1-f3"))
    assert game.position.piece_at("f6") == "black" and game.position.piece_at("h8") is None


def test_an_illegal_action_loses_under_the_wrappers_and_raises_without_them():
    game = env()
    game.reset()
    game.step(move_index("e2-e4"))
    assert game.terminations == {"white": True, "black": True}
    assert game.rewards == {"white": -1, "black": 0}

    raw = raw_env()
    raw.reset()
    with pytest.raises(ValueError, match="e2-e4"):
        raw.step(move_index("e2-e4"))
    assert to_text(raw.position) == to_text(Position())


def test_reset_from_a_position_text_and_render_as_text():
    text = "W:a1,b1,c1 B:f8,g8,h8 w"
    game = raw_env(render_mode="ansi")
    game.reset(options={"position": text})
    assert game.render() == from_text(text).ascii_board()
    observation = game.observe("white")
    assert np.flatnonzero(observation["action_mask"]).tolist() == [move_index("a1-d1")]
    game.step(move_index("a1-d1"))
    assert game.agent_selection == "black" and not any(game.terminations.values())


def test_a_finished_start_position_ends_without_rewards():
    game = raw_env()
    game.reset(options={"position": "W:a1,b1 B:h8,g8,f8 w"})
    assert game.terminations == {"white": True, "black": True}
    assert game.rewards == {"white": 0.0, "black": 0.0}


@pytest.mark.parametrize(
    "kwargs", [{"render_mode": "video"}, {"max_plies": 0}, {"random_plies": -1}]
)
def test_bad_settings_are_refused(kwargs):
    with pytest.raises(ValueError):
        raw_env(**kwargs)


def test_passes_the_render_test(capsys):
    render_test(lambda render_mode=None: env(render_mode=render_mode))
    assert Position().ascii_board() in capsys.readouterr().out  # "human" printed the diagram


@pytest.mark.parametrize("kwargs", [{}, {"max_plies": 40, "random_plies": 4}])
def test_plays_exactly_as_the_pure_python_reference(kwargs):
    """Observations of both agents, rewards, flags and the turn, at every step of random games."""
    ours, reference = raw_env(**kwargs), rl_reference.raw_env(**kwargs)
    rng = np.random.default_rng(8)
    for seed in range(3):
        ours.reset(seed=seed, options={"position": "W:a1,b1,c1,b2,c2,d4 B:h8,g8,f8,g7,f7 w"} if seed == 2 else None)
        reference.reset(seed=seed, options={"position": "W:a1,b1,c1,b2,c2,d4 B:h8,g8,f8,g7,f7 w"} if seed == 2 else None)
        while True:
            for agent in ours.possible_agents:
                mine, theirs = ours.observe(agent), reference.observe(agent)
                assert all(np.array_equal(mine[k], theirs[k]) and mine[k].dtype == theirs[k].dtype for k in theirs)
            assert (ours.agent_selection, ours.rewards, ours._cumulative_rewards, ours.terminations, ours.truncations) == (
                reference.agent_selection, reference.rewards, reference._cumulative_rewards,
                reference.terminations, reference.truncations)
            agent = ours.agent_selection
            if ours.terminations[agent] or ours.truncations[agent]:
                break
            action = int(rng.choice(np.flatnonzero(ours.observe(agent)["action_mask"])))
            ours.step(action)
            reference.step(action)


def test_renders_the_board_as_a_picture():
    game = raw_env(render_mode="rgb_array", random_plies=5)
    game.reset(seed=4)
    assert np.array_equal(game.render(), board_picture(game.position))
