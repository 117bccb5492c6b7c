"""The Gymnasium environments of tovak.vector, under Gymnasium's own checks and
against Gymnasium's own vector environment (SyncVectorEnv over the single
versions), the module's answers and the match's engine player."""

import warnings

import gymnasium
import numpy as np
import pytest
from gymnasium.utils.env_checker import check_env, data_equivalence
from gymnasium.vector import AutoresetMode, SyncVectorEnv

from tovak.features import legal_mask, move_of_index, planes
from tovak.match.player_spec import parse_player_spec
from tovak.match.players import make_player
from tovak.notation import from_text, to_text
from tovak.rl.picture import board_picture
from tovak.vector import OpponentEnv, OpponentVectorEnv, SelfPlayEnv, SelfPlayVectorEnv

# Few pieces a side: games end within a few dozen plies.
SPARSE = "W:a1,b1,c1,b2,c2 B:h8,g8,f8,g7,f7 w"
COLOR = {0: "white", 1: "black"}


def random_legal(rng, masks):
    """One random legal action per row of masks (0 for a row without one)."""
    return np.array([int(rng.choice(np.flatnonzero(m))) if m.any() else 0 for m in masks], dtype=np.int64)


@pytest.mark.parametrize(
    "name, kwargs",
    [
        ("tovak/Opponent-v0", {"opponent": "random"}),
        ("tovak/Opponent-v0", {"opponent": "engine:depth=1", "agent_color": "black", "random_plies": 2}),
        ("tovak/Opponent-v0", {"opponent": "random", "agent_color": "alternate", "start": SPARSE}),
        ("tovak/SelfPlay-v0", {}),
        ("tovak/SelfPlay-v0", {"random_plies": 3, "max_plies": 20}),
    ],
)
def test_single_environments_pass_gymnasiums_check(name, kwargs, capsys):
    env = gymnasium.make(name, **kwargs)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        check_env(env.unwrapped)  # made through make, it is registered: every render mode is tried
    assert [str(w.message) for w in caught] == []
    env.close()


@pytest.mark.parametrize("mode", [AutoresetMode.NEXT_STEP, AutoresetMode.SAME_STEP])
@pytest.mark.parametrize(
    "name, kwargs",
    [
        ("tovak/Opponent-v0", {"opponent": "engine:depth=1", "agent_color": "white"}),
        ("tovak/Opponent-v0", {"opponent": "engine:depth=1", "agent_color": "black"}),
        ("tovak/SelfPlay-v0", {}),
    ],
)
def test_the_batched_environment_steps_as_gymnasiums_own_vector_env_of_single_ones(name, kwargs, mode):
    """SyncVectorEnv autoresets the single environments by Gymnasium's rules:
    with a deterministic game (no random opening, an engine opponent) the C++
    batch must give the same arrays and infos at every step."""
    settings = {"start": SPARSE, "max_plies": 24, **kwargs}
    ours = gymnasium.make_vec(name, num_envs=4, vectorization_mode="vector_entry_point", autoreset_mode=mode, **settings)
    theirs = gymnasium.make_vec(name, num_envs=4, vectorization_mode="sync", vector_kwargs={"autoreset_mode": mode}, **settings)
    assert isinstance(theirs, SyncVectorEnv) and ours.metadata["autoreset_mode"] is mode
    assert ours.single_observation_space == theirs.single_observation_space
    assert ours.single_action_space == theirs.single_action_space
    assert ours.observation_space == theirs.observation_space and ours.action_space == theirs.action_space
    first, second = ours.reset(seed=5), theirs.reset(seed=5)
    assert data_equivalence(first, second, exact=True)
    rng = np.random.default_rng(5)
    ends = 0
    infos = first[1]
    for _ in range(120):
        actions = random_legal(rng, infos["action_mask"])
        mine, reference = ours.step(actions), theirs.step(actions)
        assert data_equivalence(mine, reference, exact=True)
        infos = mine[4]
        ends += int((mine[2] | mine[3]).sum())
    assert ends >= 8  # both ways a game ends, and the resets after them, were compared


def test_next_step_autoreset_reports_the_end_then_a_fresh_game():
    envs = SelfPlayVectorEnv(3, seed=1, start=SPARSE, max_plies=10)
    observations, infos = envs.reset(seed=1)
    rng = np.random.default_rng(1)
    for _ in range(60):
        observations, rewards, terminated, truncated, infos = envs.step(random_legal(rng, infos["action_mask"]))
        ended = terminated | truncated
        if ended.any():
            ended_before = ended
            # The next step ignores the ended games' actions (the masks are all false
            # for a terminated one) and reports a new game: reward 0, no end, 0 plies.
            observations, rewards, terminated, truncated, infos = envs.step(np.zeros(3, dtype=np.int64))
            assert (rewards[ended_before] == 0).all()
            assert not (terminated | truncated)[ended_before].any()
            for i in np.flatnonzero(ended_before):
                assert envs.games.to_text(i) == to_text(from_text(SPARSE))
                assert np.array_equal(observations[i], planes(from_text(SPARSE)))
            return
    pytest.fail("no game ended")


def test_disabled_autoreset_waits_for_a_reset_mask():
    envs = SelfPlayVectorEnv(2, seed=2, start=SPARSE, max_plies=4, autoreset_mode="disabled")
    _, infos = envs.reset(seed=2)
    rng = np.random.default_rng(2)
    for _ in range(4):
        _, _, terminated, truncated, infos = envs.step(random_legal(rng, infos["action_mask"]))
    assert (terminated | truncated).all()
    with pytest.raises(ValueError):
        envs.step(np.zeros(2, dtype=np.int64))
    observations, infos = envs.reset(options={"reset_mask": np.array([True, False])})
    start = to_text(from_text(SPARSE))
    assert envs.games.to_text(0) == start and envs.games.to_text(1) != start
    assert infos["action_mask"][0].any()


def test_self_play_rewards_the_player_who_just_moved():
    envs = SelfPlayVectorEnv(8, seed=3, start=SPARSE, max_plies=60, autoreset_mode="same_step")
    _, infos = envs.reset(seed=3)
    rng = np.random.default_rng(3)
    wins = 0
    for _ in range(150):
        movers = infos["current_player"].copy()
        positions = [envs.games.position(i) for i in range(8)]
        actions = random_legal(rng, infos["action_mask"])
        observations, rewards, terminated, truncated, infos = envs.step(actions)
        for i, position in enumerate(positions):
            position.apply_move(move_of_index(int(actions[i]), COLOR[int(movers[i])]))
            won = position.outcome() == COLOR[int(movers[i])]
            assert terminated[i] == won and rewards[i] == (1.0 if won else 0.0)
            if terminated[i] or truncated[i]:
                final = infos["final_obs"][i]
                assert np.array_equal(final, planes(position))  # the loser's view of the end
                assert not infos["final_info"]["action_mask"][i].any()
            wins += won
    assert wins >= 3  # endings were seen, not only ply limits


def test_opponent_observations_masks_and_rewards_are_the_agents():
    """Alternate colours, a random opponent, every field checked against the
    module, including the games that end with the opponent to move."""
    envs = OpponentVectorEnv(6, opponent="random", agent_color="alternate", seed=4, start=SPARSE,
                             max_plies=40, autoreset_mode="disabled")
    observations, infos = envs.reset(seed=4)
    rng = np.random.default_rng(4)
    episodes = np.zeros(6, dtype=int)
    outcomes = set()
    for _ in range(300):
        games = envs.games
        assert infos["agent_color"].tolist() == [(i + k) % 2 for i, k in enumerate(episodes)]
        for i in range(6):
            agent = COLOR[int(infos["agent_color"][i])]
            position = games.position(i)
            assert np.array_equal(observations[i], planes(position, agent))
            assert np.array_equal(infos["action_mask"][i], legal_mask(position, agent).astype(bool))
        observations, rewards, terminated, truncated, infos = envs.step(random_legal(rng, infos["action_mask"]))
        for i in np.flatnonzero(terminated):
            winner = envs.games.position(i).outcome()
            agent = COLOR[int(infos["agent_color"][i])]
            assert rewards[i] == (1.0 if winner == agent else -1.0)
            outcomes.add((rewards[i], envs.games.position(i).side_to_move() == agent))
        assert (rewards[~terminated] == 0).all()
        ended = terminated | truncated
        if ended.any():
            for i in range(6):  # the ended games' last rows, before they are reset
                agent = COLOR[int(infos["agent_color"][i])]
                assert np.array_equal(observations[i], planes(envs.games.position(i), agent))
            assert not infos["action_mask"][ended].any()  # also where the ply limit cut a game
            observations, infos = envs.reset(options={"reset_mask": ended})
            episodes += ended
    # The agent won (the opponent left to move, its view turned) and lost.
    assert outcomes == {(1.0, False), (-1.0, True)}


@pytest.mark.parametrize("agent_color", ["white", "black"])
def test_the_engine_opponent_plays_as_the_match_player(agent_color):
    player = make_player(parse_player_spec("engine:depth=2"), 1000)
    envs = OpponentVectorEnv(3, opponent="engine:depth=2", agent_color=agent_color, random_plies=3, seed=7)
    _, infos = envs.reset(seed=7)
    rng = np.random.default_rng(7)
    for _ in range(4):
        positions = [envs.games.position(i) for i in range(3)]
        actions = random_legal(rng, infos["action_mask"])
        _, _, terminated, truncated, infos = envs.step(actions)
        for i, position in enumerate(positions):
            position.apply_move(move_of_index(int(actions[i]), agent_color))
            if position.outcome() is None:
                position.apply_move(player.choose(to_text(position), [], position).move)
            assert envs.games.to_text(i) == to_text(position)
    player.close()


def test_single_opponent_env_loses_on_an_illegal_action_and_masks_follow():
    env = OpponentEnv(opponent="random", seed=1)
    observation, info = env.reset(seed=1)
    assert np.array_equal(env.action_masks(), info["action_mask"])
    illegal = int(np.flatnonzero(~info["action_mask"])[0])
    observation, reward, terminated, truncated, info = env.step(illegal)
    assert (reward, terminated, truncated, info["illegal_action"]) == (-1.0, True, False, True)
    assert not env.action_masks().any()
    with pytest.raises(RuntimeError, match="reset"):
        env.step(0)
    env.reset(seed=1)
    with pytest.raises(ValueError, match="move number"):
        env.step(4096)


def test_vector_env_refuses_an_illegal_action_without_changing_a_game():
    envs = OpponentVectorEnv(2, opponent="random", seed=1)
    _, infos = envs.reset(seed=1)
    before = [envs.games.to_text(i) for i in range(2)]
    actions = np.array([int(np.flatnonzero(infos["action_mask"][0])[0]), int(np.flatnonzero(~infos["action_mask"][1])[0])])
    with pytest.raises(ValueError, match="game 1"):
        envs.step(actions)
    assert [envs.games.to_text(i) for i in range(2)] == before


@pytest.mark.parametrize(
    "make, error",
    [
        (lambda: SelfPlayVectorEnv(2, autoreset_mode="sometimes"), ValueError),
        (lambda: SelfPlayVectorEnv(2, render_mode="video"), ValueError),
        (lambda: OpponentVectorEnv(2, opponent="engine:depth=0"), ValueError),
        (lambda: OpponentEnv(agent_color="red"), ValueError),
        (lambda: SelfPlayVectorEnv(2).step(np.zeros(2, dtype=np.int64)), RuntimeError),
    ],
)
def test_bad_settings_and_calls_are_refused(make, error):
    with pytest.raises(error):
        make()


def test_vector_render_modes(capsys):
    pictures = SelfPlayVectorEnv(2, random_plies=4, seed=3, render_mode="rgb_array")
    pictures.reset(seed=3)
    frames = pictures.render()
    assert len(frames) == 2
    for i, frame in enumerate(frames):
        assert np.array_equal(frame, board_picture(pictures.games.position(i)))
    texts = OpponentVectorEnv(2, seed=3, render_mode="ansi")
    texts.reset(seed=3)
    assert texts.render() == tuple(texts.games.position(i).ascii_board() for i in range(2))
    printed = SelfPlayEnv(render_mode="human")
    printed.reset(seed=0)
    assert printed.render() is None
    assert printed.games.position(0).ascii_board() in capsys.readouterr().out


def test_make_and_make_vec_give_the_registered_classes():
    single = gymnasium.make("tovak/Opponent-v0", opponent="engine:depth=1")
    assert isinstance(single.unwrapped, OpponentEnv)
    batched = gymnasium.make_vec("tovak/SelfPlay-v0", num_envs=5, vectorization_mode="vector_entry_point", threads=2)
    assert isinstance(batched, SelfPlayVectorEnv) and batched.num_envs == 5 and batched.games.threads == 2
    assert isinstance(gymnasium.make("tovak/SelfPlay-v0").unwrapped, SelfPlayEnv)
