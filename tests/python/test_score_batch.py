import inspect
import itertools
import random

import pytest

import vantor

RANKS = "23456789TJQKA"
SUITS = "cdhs"
DECK = [r + s for r in RANKS for s in SUITS]


def random_hands(count, size, seed, deck=DECK):
    rng = random.Random(seed)
    return ["".join(rng.sample(deck, size)) for _ in range(count)]


def test_empty_batch_and_the_extremes():
    assert vantor.score_batch("high", []) == []
    assert vantor.score_batch("high", ["AsKsQsJsTs", "2c3d4h5s7c"]) == [0, 7461]
    assert vantor.score_batch("high", ["2c3d4h5s7c", "AsKsQsJsTs"]) == [7461, 0]
    assert vantor.score_batch(kernel="high", hands=("AsKsQsJsTs",)) == [0]


def test_signature_and_help():
    assert str(inspect.signature(vantor.score_batch)) == "(kernel, hands)"
    assert vantor.score_batch.__doc__.startswith("Scores a batch of hands against one of the ranking kernels.")


def test_card_counts_outside_five_to_seven_are_not_errors():
    assert vantor.score_batch("high", ["AsKs", "", "AsKsQsJsTs9s8s7s"]) == [65535] * 3
    for kernel in ("short_deck", "deuce_seven", "low_a5"):
        assert vantor.score_batch(kernel, ["AsKsQsJs"]) == [65535]


def test_best_five_of_seven_and_free_notation():
    assert vantor.score_batch("high", ["AsKsQsJsTs2c3d", "AsKsQsJsTs"]) == [0, 0]
    assert vantor.score_batch("high", ["ah kh qh jh th", "AhKhQhJhTh"]) == [0, 0]
    assert vantor.score_batch("high", ["a s\u3000k s\tq s j s t s"]) == [0]


def test_each_table_kernel_numbers_its_own_order():
    assert vantor.score_batch("short_deck", ["9s8s7s6sAs", "5s4h3d2cAs", "AsKsQsJs9s"]) == [5, 6675, 165]
    assert vantor.score_batch("deuce_seven", ["7s5h4d3c2s", "5s4h3d2cAs", "7s5h4d3c2s2d"]) == [0, 784, 1284]
    assert vantor.score_batch("low_a5", ["5s4s3s2sAs", "9s4h3d2cAs", "AsAd2c3h4s5d9c"]) == [0, 56, 0]


def test_kernel_names_are_exact_and_checked_before_any_hand():
    with pytest.raises(ValueError) as error:
        vantor.score_batch("High", ["AsKsQsJsTs"])
    assert str(error.value) == 'no kernel called "High"'
    with pytest.raises(ValueError) as error:
        vantor.score_batch("nope", ["AsKsQsJsTx"])
    assert str(error.value) == 'no kernel called "nope"'
    with pytest.raises(ValueError) as error:
        vantor.score_batch(" high", [])
    assert str(error.value) == 'no kernel called " high"'


@pytest.mark.parametrize(
    "hands, message",
    [
        (["AsKsQsJsTs", "AsKsQsJsT"], "Uneven number of chars"),
        (["AsKsQsJsTx"], "Invalid suit character: x"),
        (["1sKsQsJsTs"], "Invalid rank character: 1"),
        (["AsKsQsJsTs", "Xs", "AsKsQsJsT"], "Invalid rank character: X"),
    ],
)
def test_the_first_unreadable_hand_is_reported(hands, message):
    with pytest.raises(ValueError) as error:
        vantor.score_batch("high", hands)
    assert str(error.value) == message


@pytest.mark.parametrize("hands", ["AsKsQsJsTs", ["AsKsQsJsTs", 5], None, b"AsKs"])
def test_arguments_of_the_wrong_type(hands):
    with pytest.raises(TypeError):
        vantor.score_batch("high", hands)
    with pytest.raises(TypeError):
        vantor.score_batch(1, [])
    with pytest.raises(TypeError):
        vantor.score_batch("high")


def test_repeated_cards_never_produce_a_class():
    for kernel in ("high", "short_deck", "deuce_seven", "low_a5"):
        assert vantor.score_batch(kernel, ["AsAsAsAsAsKs", "AsAsKsQsJs", "2c2c2c2c2c"]) == [65535] * 3
    assert vantor.score_batch("omaha", ["AsAsKdKc2h3h4h", "AhKh2c3dAhQhJh"]) == [4294967295] * 2
    # Badugi looks at ranks and suits only, so a repeat changes nothing.
    assert vantor.score_batch("badugi", ["AsAs2h3d4c", "As2h3d4c"]) == [17185, 17185]


def test_omaha_takes_the_first_four_cards_as_the_hole():
    cases = {
        "AhKh2c3dQhJhTh": 0,
        "AhKhQhJhTh9h8h": 2,
        "AsAhKdKc2s3s4s5s9s": 3504,
        "AsAh2s3sKsQsJs": 328,
        "2c3d4h5sAc6dKh": 6339,
        "AhKhQhJh": 4294967295,
        "AhKhQhJh2c": 4294967295,
        "AhKhQhJh2c3d": 4294967295,
        "Ah": 4294967295,
        "": 4294967295,
    }
    assert vantor.score_batch("omaha", list(cases)) == list(cases.values())
    moved = vantor.score_batch("omaha", ["AhKhQhJh2c3d4s5s9c", "KhQhJh2cAh3d4s5s9c"])
    assert moved[0] != moved[1]


def brute_force_omaha(hand):
    cards = [hand[i : i + 2] for i in range(0, len(hand), 2)]
    hole, board = cards[:4], cards[4:]
    fives = ["".join(p + t) for p in itertools.combinations(hole, 2) for t in itertools.combinations(board, 3)]
    return min(vantor.score_batch("high", fives), default=4294967295)


def test_omaha_matches_two_plus_three_over_any_board_size():
    hands = [h for n in range(2, 13) for h in random_hands(60, n, seed=n)]
    assert vantor.score_batch("omaha", hands) == [brute_force_omaha(h) for h in hands]


def test_badugi_scores():
    cases = {
        "As2h3d4c": 17185,
        "4c3d2hAs": 17185,
        "As2h3d4c5s": 17185,
        "KsQhJdTc": 56506,
        "As2s3h4d": 82704,
        "AsAh2d3c": 78352,
        "As2s3s4s": 200704,
        "Kc": 249856,
        "": 4294967295,
    }
    assert vantor.score_batch("badugi", list(cases)) == list(cases.values())


def test_badugi_of_many_cards_is_its_best_subset_of_four():
    def brute(hand):
        cards = [hand[i : i + 2] for i in range(0, len(hand), 2)]
        best = 4294967295
        for k in range(1, 5):
            for combo in itertools.combinations(cards, k):
                best = min(best, vantor.score_batch("badugi", ["".join(combo)])[0])
        return best

    hands = [h for n in (5, 6, 8, 11) for h in random_hands(40, n, seed=100 + n)]
    assert vantor.score_batch("badugi", hands) == [brute(h) for h in hands]
    assert vantor.score_batch("badugi", ["".join(DECK)]) == [17185]


def test_high_agrees_with_phevaluator():
    phevaluator = pytest.importorskip("phevaluator")
    hands = [h for n in (5, 6, 7) for h in random_hands(5000, n, seed=n)]
    theirs = [phevaluator.evaluate_cards(*[h[i : i + 2] for i in range(0, len(h), 2)]) - 1 for h in hands]
    assert vantor.score_batch("high", hands) == theirs


def test_low_orders_agree_with_pokerkit():
    lookups = pytest.importorskip("pokerkit.lookups")
    hands = random_hands(5000, 5, seed=11)
    deuce_seven = lookups.Standard2Lookup()
    assert vantor.score_batch("deuce_seven", hands) == [deuce_seven.get_entry(h).index for h in hands]
    ace_five = lookups.RegularLookup()
    assert vantor.score_batch("low_a5", hands) == [ace_five.get_entry(h).index for h in hands]


def test_short_deck_order_agrees_with_pokerkit():
    lookups = pytest.importorskip("pokerkit.lookups")
    short = lookups.ShortDeckHoldemLookup()
    short_deck = [c for c in DECK if c[0] not in "2345"]
    hands = random_hands(5000, 5, seed=12, deck=short_deck)
    hands += ["AsKsQsJsTs", "9s8s7s6sAs", "9h8d7c6sAs", "AsAhAdKcKs", "AsKsQsJs9s"]
    ours = vantor.score_batch("short_deck", hands)
    theirs = [short.get_entry(h).index for h in hands]
    # Both number classes densely; theirs counts up from the worst hand of the
    # 36-card deck, so only the order can be compared: a strictly decreasing map.
    pairs = sorted(set(zip(theirs, ours)))
    assert len({t for t, _ in pairs}) == len(pairs) == len({o for _, o in pairs})
    assert all(a[1] > b[1] for a, b in zip(pairs, pairs[1:]))
