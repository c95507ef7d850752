"""The four equity entry points and the dictionaries they return."""

import inspect
import itertools
import math

import eval7
import pytest

import vantor

RESULT_KEYS = [
    "samples", "exact", "attempts", "acceptance", "weighted", "weight_sum",
    "weight_square_sum", "effective_samples", "share_sum", "share_square_sum",
    "square_weight_share_sum", "low_share_sum", "win_count", "tie_count", "scoop_count",
    "high_win_count", "high_tie_count", "low_win_count", "low_tie_count", "players",
]
PLAYER_KEYS = [
    "equity", "win", "tie", "low_equity", "scoop", "high_win", "high_tie", "low_win",
    "low_tie", "std_error",
]
LIST_KEYS = RESULT_KEYS[8:19]


def bit(card):
    return 1 << vantor.card_index(card)


def check_shape(result, seats):
    assert list(result) == RESULT_KEYS
    assert type(result["samples"]) is int and type(result["attempts"]) is int
    assert type(result["exact"]) is bool and type(result["weighted"]) is bool
    for key in ("acceptance", "weight_sum", "weight_square_sum", "effective_samples"):
        assert type(result[key]) is float, key
    for key in LIST_KEYS:
        assert len(result[key]) == seats and all(type(v) is float for v in result[key]), key
    assert len(result["players"]) == seats
    for player in result["players"]:
        assert list(player) == PLAYER_KEYS
        assert all(type(v) is float for v in player.values())


def test_dictionary_shape_and_reproducibility():
    first = vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=1000, seed=7)
    check_shape(first, 2)
    assert first["samples"] == 1000 and first["exact"] is False
    assert math.isclose(sum(p["equity"] for p in first["players"]), 1.0, abs_tol=1e-12)
    for _ in range(3):
        assert vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=1000, seed=7) == first
    other = vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=1000, seed=8)
    assert other != first
    assert abs(other["players"][0]["equity"] - first["players"][0]["equity"]) < 0.1
    # With every weight 1 the weight sums are the sample count.
    assert first["weighted"] is False
    assert first["weight_sum"] == first["weight_square_sum"] == first["effective_samples"] == 1000.0
    assert first["attempts"] == 1000 and first["acceptance"] == 1.0
    # High-only game: nothing through a low half.
    for key in ("low_share_sum", "low_win_count", "low_tie_count"):
        assert first[key] == [0.0, 0.0]
    assert all(p["low_equity"] == p["low_win"] == p["low_tie"] == 0.0 for p in first["players"])


def test_thread_count_sets_the_chunking_only():
    args = ("holdem", ["AhKh", "QsQd"], "Kd 7c")
    default = vantor.default_thread_count()
    zero = vantor.chunk_from_text(*args, samples=5000, seed=3, threads=0)
    assert zero == vantor.chunk_from_text(*args, samples=5000, seed=3, threads=default)
    one = vantor.chunk_from_text(*args, samples=5000, seed=3, threads=1)
    five = vantor.chunk_from_text(*args, samples=5000, seed=3, threads=5)
    assert one != five  # other chunk seeds
    # More threads than samples: one chunk per sample, still every sample.
    assert vantor.chunk_from_text(*args, samples=3, seed=3, threads=8)["samples"] == 3
    many = vantor.chunk_from_text(*args, samples=20, seed=3, threads=2**62)
    assert many == vantor.chunk_from_text(*args, samples=20, seed=3, threads=20)


def test_zero_samples():
    result = vantor.chunk_from_text("omaha_hi_lo", ["AhKh2c3d", "QsQdJhTh"], samples=0, seed=1)
    check_shape(result, 2)
    assert result["samples"] == 0 and result["attempts"] == 0
    assert result["acceptance"] == 1.0 and result["effective_samples"] == 0.0
    assert all(v == 0.0 for key in LIST_KEYS for v in result[key])
    assert all(v == 0.0 for p in result["players"] for v in p.values())


def brute_force_holdem(hands, board):
    """Share sums and outright wins over every completion, scored by eval7."""
    hole = [[eval7.Card(h[i:i + 2]) for i in (0, 2)] for h in hands]
    known = [eval7.Card(c) for c in board.split()]
    used = {str(c) for c in known} | {str(c) for h in hole for c in h}
    deck = [c for c in eval7.Deck().cards if str(c) not in used]
    shares = [0.0] * len(hands)
    wins = [0.0] * len(hands)
    deals = 0
    for extra in itertools.combinations(deck, 5 - len(known)):
        full = known + list(extra)
        scores = [eval7.evaluate(h + full) for h in hole]  # higher is better
        best = max(scores)
        winners = [i for i, s in enumerate(scores) if s == best]
        for i in winners:
            shares[i] += 1.0 / len(winners)
        if len(winners) == 1:
            wins[winners[0]] += 1.0
        deals += 1
    return deals, shares, wins


@pytest.mark.parametrize(
    "hands, board",
    [
        (["AhKh", "QsQd"], "Kd 7c 2h"),
        (["AhKh", "QsQd"], "2c 3d 4h"),
        (["7s6s", "AdKc", "9h9c"], "Ts 8d 2s 4c"),
        (["AcQc", "AdQd"], "Kc Jd 5h"),
    ],
)
def test_exact_against_an_independent_evaluator(hands, board):
    result = vantor.exact_from_text("holdem", hands, board)
    check_shape(result, len(hands))
    deals, shares, wins = brute_force_holdem(hands, board)
    assert result["exact"] is True and result["attempts"] == 0 and result["acceptance"] == 1.0
    assert result["samples"] == deals
    for j in range(len(hands)):
        assert math.isclose(result["share_sum"][j], shares[j], rel_tol=1e-12, abs_tol=1e-9)
        assert result["win_count"][j] == wins[j]
        assert result["players"][j]["std_error"] == 0.0
        assert math.isclose(result["players"][j]["equity"], shares[j] / deals, rel_tol=1e-12)
    # The mask form asks the same question.
    masks = [[[bit(h[:2]), bit(h[2:])]] for h in hands]
    assert vantor.exact("holdem", masks, [bit(c) for c in board.split()], 0) == result


def test_sampling_agrees_with_the_exact_answer():
    exact = vantor.exact_from_text("holdem", ["AhKh", "QsQd"], "Kd 7c")
    sampled = vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], "Kd 7c", samples=20000, seed=11)
    for e, s in zip(exact["players"], sampled["players"]):
        assert s["std_error"] > 0
        assert abs(e["equity"] - s["equity"]) < 5 * s["std_error"]


def test_exact_declines_when_there_are_too_many_deals():
    assert vantor.exact_from_text("holdem", ["**", "**", "**"]) is None
    full = vantor.full_deck()
    assert vantor.exact("holdem", [[[full, full]]] * 3, [], 0) is None


# Each seat's alternatives fit the other seats position by position, but no
# whole alternative does: the other seat holds a card every one of them needs.
@pytest.mark.parametrize("game, hands, board", [
    ("holdem", ["AhKh", "QhAh, KhQd"], "2c 3d 4h 5s 7c"),
    ("omaha", ["AhKh**", "QhAh**, KhQd**"], "2c 3d 4h"),
    ("stud", ["AhKh2c", "QhAh3c, KhQd3d"], ""),
])
def test_a_spot_no_deal_satisfies_fails_from_both_entry_points(game, hands, board):
    text = "No deal can satisfy the hands, board and dead cards together"
    with pytest.raises(ValueError) as exact:
        vantor.exact_from_text(game, hands, board)
    with pytest.raises(ValueError) as sampled:
        vantor.chunk_from_text(game, hands, board, samples=1000, seed=1)
    assert str(exact.value) == str(sampled.value) == text


def test_masks_ignore_bits_above_the_deck():
    high = 1 << 60
    seats = [[[bit("As"), bit("Ks")]], [[bit("Ah"), bit("Kh")]]]
    plain = vantor.chunk("holdem", seats, [], 0, 1000, seed=5, threads=2)
    dirty = [[[m | high for m in alt] for alt in seat] for seat in seats]
    assert vantor.chunk("holdem", dirty, [], high, 1000, seed=5, threads=2) == plain
    assert plain == vantor.chunk_from_text("holdem", ["AsKs", "AhKh"], samples=1000, seed=5, threads=2)
    board = [bit("2c") | high, bit("7d"), bit("9h")]
    assert vantor.exact("holdem", dirty, board, high) == vantor.exact_from_text(
        "holdem", ["AsKs", "AhKh"], "2c 7d 9h")
    # Tuples and keywords are as good as lists and positions.
    assert vantor.chunk(variant="holdem", hands=tuple(tuple(map(tuple, s)) for s in seats),
                        board=(), dead=0, samples=1000, seed=5, threads=2) == plain


def test_every_key_plays_its_own_game():
    for game in vantor.variants():
        key, hole = game["key"], game["hole_cards"]
        board = "*" if key.startswith("courchevel") else ""
        hands = ["*" * hole, "*" * hole]
        result = vantor.chunk_from_text(key, hands, board, samples=200, seed=1, threads=2)
        assert result["samples"] == 200
        has_low = any(result["low_share_sum"])
        assert has_low == ("hi_lo" in key), key
        with pytest.raises(ValueError):
            vantor.chunk_from_text(key, ["*" * (hole + 1), "*" * (hole + 1)], board, samples=10)
    # Games that deal alike are told apart by their rules.
    quads, wheel = "AhAdAcAsKsKdQs", "2c3d4h5s7c8d9h"
    assert vantor.exact_from_text("stud", [quads, wheel])["share_sum"] == [1.0, 0.0]
    assert vantor.exact_from_text("razz", [quads, wheel])["share_sum"] == [0.0, 1.0]
    low, four = "7c5d4h3s2c", "AhAdAcAsKd"
    assert vantor.exact_from_text("deuce_seven", [low, four])["share_sum"] == [1.0, 0.0]
    assert vantor.exact_from_text("five_card_draw", [low, four])["share_sum"] == [0.0, 1.0]
    with pytest.raises(ValueError, match="is not in this game's deck"):
        vantor.exact_from_text("short_deck", ["AhKh", "QsQd"], dead="2c")
    badugi = [[[bit(c) for c in ("Ah", "Kd", "2c", "3s")]], [[bit(c) for c in ("5h", "6d", "7c", "8s")]]]
    with pytest.raises(ValueError, match="^Invalid number of community cards: 1$"):
        vantor.exact("badugi", badugi, [bit("Ks")], 0)


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: vantor.chunk_from_text("HOLDEM", ["AhKh", "QsQd"]),
         'no game called "HOLDEM"; call variants() for the list'),
        (lambda: vantor.exact("hold\"em\n", [[[1, 2]]], [], 0),
         'no game called "hold\\"em\\n"; call variants() for the list'),
        # The key is looked at before the hands.
        (lambda: vantor.exact_from_text("holdem ", ["nonsense"]),
         'no game called "holdem "; call variants() for the list'),
        (lambda: vantor.chunk_from_text("holdem", ["AhKh"], samples=10),
         "a spot needs at least two seats to have an answer"),
        (lambda: vantor.exact("holdem", [[[bit("Ah"), bit("Kh")]]], [], 0),
         "a spot needs at least two seats to have an answer"),
        (lambda: vantor.exact_from_text("holdem", ["AhKh", "AhQd"]), "Found duplicated card: Ah"),
        (lambda: vantor.chunk("holdem", [[[bit("Ah"), bit("Kh")]], [[bit("Ah"), bit("Qd")]]], [], 0, 10),
         "Found duplicated card: Ah"),
    ],
)
def test_value_errors(call, text):
    with pytest.raises(ValueError) as error:
        call()
    assert str(error.value) == text


@pytest.mark.parametrize(
    "call, kind",
    [
        (lambda: vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], seed=None), TypeError),
        (lambda: vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], threads=None), TypeError),
        (lambda: vantor.chunk("holdem", [[[1, 2]], [[4, 8]]], [], 0, 10, None), TypeError),
        (lambda: vantor.chunk_from_text("holdem", "AhKh QsQd"), TypeError),
        (lambda: vantor.chunk_from_text("holdem", ["AhKh", 5]), TypeError),
        (lambda: vantor.chunk("holdem", "AhKh", [], 0, 10), TypeError),
        (lambda: vantor.chunk("holdem", [[[1.0, 2]], [[4, 8]]], [], 0, 10), TypeError),
        (lambda: vantor.chunk("holdem", [[[1, 2]], [[4, 8]]], [], 0), TypeError),
        (lambda: vantor.exact("holdem", [[[1, 2]], [[4, 8]]], [], 0, 10), TypeError),
        (lambda: vantor.exact_from_text("holdem", ["AhKh", "QsQd"], samples=10), TypeError),
        (lambda: vantor.chunk_from_text(None, ["AhKh", "QsQd"]), TypeError),
        (lambda: vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=-1), OverflowError),
        (lambda: vantor.chunk("holdem", [[[1, -2]], [[4, 8]]], [], 0, 10), OverflowError),
        (lambda: vantor.chunk("holdem", [[[1, 2]], [[4, 8]]], [], 2**64, 10), OverflowError),
    ],
)
def test_conversion_errors(call, kind):
    with pytest.raises(kind):
        call()


def test_help_texts():
    assert str(inspect.signature(vantor.chunk)) == "(variant, hands, board, dead, samples, seed=0, threads=0)"
    assert str(inspect.signature(vantor.chunk_from_text)) == (
        "(variant, hands, board='', dead='', samples=100000, seed=0, threads=0)")
    assert str(inspect.signature(vantor.exact)) == "(variant, hands, board, dead)"
    assert str(inspect.signature(vantor.exact_from_text)) == "(variant, hands, board='', dead='')"
    assert vantor.exact_from_text.__doc__.split("\n\n") == [
        "Walks every deal instead of sampling, or returns `None` when there are too many to walk.",
        "An exact result carries a standard error of zero, because there is nothing uncertain about it.",
    ]
    assert vantor.chunk.__doc__.startswith("Samples a batch of deals, taking masks.\n\n")
    names = [name for name in vars(vantor) if not name.startswith("_")]
    assert names.index("variants") + 1 == names.index("chunk")
    assert names[names.index("chunk"):names.index("default_thread_count")] == [
        "chunk", "chunk_from_text", "exact", "exact_from_text"]
