"""vantor_tools: answers equal the module's own, merge exactly, and sample to a target."""

import math
import pickle

import pytest

import vantor
import vantor_tools
from vantor_tools import Equity, Spot, chunk_plan, equity, sample
from vantor_tools.run import FIRST_BATCH

# Hold'em, a hi/lo game with a random seat, razz, a range spot with dead cards,
# and a spot the engine deals with weights.
SPOTS = [
    Spot("holdem", ("AhKh", "QsQd"), "Kd 7c 2h"),
    Spot("omaha_hi_lo", ("AhAd2c3d", "KsKh9s8h", "****"), "4c 7d Qs"),
    Spot("razz", ("A23", "KQJ", "TT*")),
    Spot("holdem", ("QQ+, AKs", "JJ-88, AQs+", "**"), "", "2c"),
    Spot("holdem", ("AA,KK",) * 4),
]


def native(spot, samples, seed, threads):
    return vantor.chunk_from_text(spot.game, spot.hands, spot.board, spot.dead, samples, seed, threads)


def close(a, b):
    return a == b or math.isclose(a, b, rel_tol=1e-12)


def same_dict(merged, expected):
    assert list(merged) == list(expected)
    for key, value in expected.items():
        if isinstance(value, list) and key != "players":
            assert all(close(x, y) for x, y in zip(merged[key], value)), key
        elif key == "players":
            for mine, theirs in zip(merged[key], value):
                assert all(close(mine[k], theirs[k]) for k in theirs), key
        else:
            assert close(merged[key], value), key


@pytest.mark.parametrize("spot", SPOTS, ids=lambda s: s.game)
def test_answers_are_the_modules_and_round_trip(spot):
    for threads in (1, 3):
        expected = native(spot, 5003, 11, threads)
        got = equity(spot.game, spot.hands, spot.board, spot.dead, samples=5003, seed=11, threads=threads)
        assert got.to_dict() == expected
        assert [seat.hand for seat in got.seats] == list(spot.hands)
        assert pickle.loads(pickle.dumps(got)) == got
        assert Equity.from_dict(spot, got.to_dict()) == got
    walked = vantor.exact_from_text(spot.game, spot.hands, spot.board, spot.dead)
    if walked is not None:
        assert equity(spot.game, spot.hands, spot.board, spot.dead).to_dict() == walked
    assert vantor.chunk_from_text(spot.game, spot.hands, spot.board, spot.dead, 0)["samples"] == 0


@pytest.mark.parametrize("spot", SPOTS, ids=lambda s: s.game)
def test_single_chunks_merge_into_the_native_batch(spot):
    # Chunk i of a t-thread batch, requested alone through the multiplier's
    # inverse, merged in order, is the t-thread batch itself.
    for threads, samples in ((2, 4000), (3, 1001), (4, 7)):
        plan = chunk_plan(samples, 99, threads)
        assert len(plan) == threads and sum(size for size, _ in plan) == samples
        parts = [sample(spot, size, seed, 1) for size, seed in plan]
        same_dict(Equity.merge_all(parts).to_dict(), native(spot, samples, 99, threads))
    assert vantor_tools.batch_seed(99, 0) == 99


def test_merge_keeps_the_engines_exact_flag_rules():
    spot = SPOTS[0]
    walked = vantor_tools.walk(spot)
    empty, drawn = sample(spot, 0, 1), sample(spot, 500, 1)
    assert walked.merge(empty).exact and empty.merge(walked).exact
    both = walked.merge(drawn)
    assert not both.exact and both.samples == walked.samples + 500
    assert both.share_sum[0] == walked.share_sum[0] + drawn.share_sum[0]
    with pytest.raises(ValueError, match="same spot"):
        walked.merge(sample(SPOTS[2], 10))
    with pytest.raises(ValueError, match="at least one"):
        Equity.merge_all([])


def test_target_error_stops_when_reached_and_repeats():
    spot = SPOTS[0]
    batches = []
    got = equity(*spot.__dict__.values(), target_error=0.0015, threads=2, progress=batches.append)
    assert got.worst_error <= 0.0015 < batches[-2].worst_error
    # A few calls, and not far past the samples the target needs.
    needed = batches[0].samples * (batches[0].worst_error / 0.0015) ** 2
    assert len(batches) <= 8 and got.samples < 2 * needed
    assert equity(*spot.__dict__.values(), target_error=0.0015, threads=2) == got
    walked = vantor_tools.walk(spot)
    for mine, exact in zip(got.seats, walked.seats):
        assert abs(mine.equity - exact.equity) < 4 * mine.std_error
    # A loose target is met by the first batch, drawn with the seed itself.
    assert equity(*spot.__dict__.values(), target_error=0.2, seed=5) == sample(spot, FIRST_BATCH, 5)


def test_sampling_limits():
    spot = SPOTS[2]
    capped = equity(*spot.__dict__.values(), target_error=1e-9, max_samples=25_000)
    assert capped.samples == 25_000 and capped.worst_error > 1e-9
    timed = equity(*spot.__dict__.values(), target_error=1e-9, time_limit=0.3)
    assert timed.samples >= FIRST_BATCH
    with pytest.raises(vantor_tools.TooManyDeals):
        equity("holdem", ["**", "**", "**"], exact=True)
    assert not equity("holdem", ["**", "**", "**"], max_samples=20_000).exact


@pytest.mark.parametrize("kwargs, error", [
    (dict(samples=10, target_error=0.01), "not both"),
    (dict(exact=True, samples=10), "exact answer"),
    (dict(samples=10, time_limit=1), "only limit sampling"),
    (dict(target_error=0), "greater than 0"),
    (dict(max_samples=0), "at least 1"),
    (dict(seed=-1), "seed"),
    (dict(samples=10, board="Kd,7c"), r"',' is not a rank, a suit, or '\*' \(at byte 2\)"),
    (dict(hands="AhKh"), "not one str"),
])
def test_bad_arguments(kwargs, error):
    kwargs.setdefault("hands", ["AhKh", "QsQd"])
    with pytest.raises((ValueError, TypeError), match=error):
        equity("holdem", **kwargs)


def test_table_and_html():
    hi_lo = equity(*SPOTS[1].__dict__.values(), samples=2000)
    text, html = str(hi_lo), hi_lo._repr_html_()
    assert text.startswith("Omaha Hi/Lo, board 4c 7d Qs: 2,000 deals, sampled\n")
    heading, first = text.splitlines()[1:3]
    assert heading.split() == ["seat", "hand", "equity", "±", "win", "tie", "high", "low", "scoop"]
    seat = hi_lo.seats[0]
    assert first.split() == ["1", "AhAd2c3d"] + [f"{x:.2%}" for x in (
        seat.equity, seat.std_error, seat.win, seat.tie, seat.high_equity, seat.low_equity, seat.scoop)]
    assert html.count("<tr>") == 4 and "<td>AhAd2c3d</td>" in html
    assert "±" not in str(vantor_tools.walk(SPOTS[0]))
