"""Holdings as the module reads them, and how many deals of a spot give a seat each of them.

The exact walk counts every deal once: every set of cards that can fill each
seat's holding, times every board, where no card is used twice. A holding's
share of a seat's field is therefore its share of those deals, and this module
counts them without walking a single board, so that a breakdown can weigh
holdings whose equity it samples. Seats whose every slot is open ("**") and the
open board slots take whatever cards are left; they multiply every holding's
count by the same factor and are counted in closed form.
"""

from __future__ import annotations

import functools
import math
from collections import Counter
from itertools import combinations
from typing import Dict, List, Sequence, Set, Tuple

import vantor

from .spot import Spot, find_game

Holding = Tuple[int, ...]

RANKS = "23456789TJQKA"
SUITS = "cdhs"
FULL_DECK = (1 << 52) - 1
STUD_FAMILY = ("stud", "stud_hi_lo", "razz")

# Beyond this many steps of counting, weighing the holdings is given up.
WORK_LIMIT = 4_000_000


class TooMuchToWeigh(ValueError):
    """Counting the deals of each holding would take too long (too many ways to deal the other seats)."""


@functools.lru_cache(maxsize=None)
def _decks() -> Dict[str, int]:
    return {row["key"]: row["deck"] for row in vantor.variants()}


def deck_of(game: str) -> int:
    """The game's deck as a mask."""
    return _decks()[game]


def cards_of(mask: int) -> List[int]:
    """The card indices of a mask, ascending."""
    out = []
    while mask:
        low = mask & -mask
        out.append(low.bit_length() - 1)
        mask ^= low
    return out


def hole_cards(spot: Spot) -> int:
    """How many cards each seat holds in this spot (stud deals six each from eight seats on)."""
    game = find_game(spot.game)
    if game is None:
        raise ValueError(f"no game called {spot.game!r}")
    if spot.game in STUD_FAMILY and len(spot.hands) >= 8:
        return 6
    return game.hole_cards


def board_size(spot: Spot) -> int:
    game = find_game(spot.game)
    assert game is not None
    if spot.game in STUD_FAMILY:
        return 1 if len(spot.hands) >= 8 else 0
    return game.board_cards


def holdings(spot: Spot, seat: int) -> List[Holding]:
    """The alternatives of a seat's field, in the field's order, as the module reads them."""
    game = find_game(spot.game)
    assert game is not None
    return [tuple(h) for h in vantor.parse_hand_field(spot.hands[seat], hole_cards(spot), game.short_hands)]


def slot_text(mask: int) -> str:
    """One slot as text: a card, a rank, a suit or "*"."""
    if mask & FULL_DECK == FULL_DECK:
        return "*"
    cards = cards_of(mask)
    if len(cards) == 1:
        return RANKS[cards[0] // 4] + SUITS[cards[0] % 4]
    rank = cards[0] // 4
    if cards == [rank * 4 + s for s in range(4)]:
        return RANKS[rank]
    suit = cards[0] % 4
    if cards == [r * 4 + suit for r in range(13)]:
        return SUITS[suit]
    raise ValueError(f"slot {mask:#x} is not a card, a rank, a suit or any card")


def holding_text(holding: Sequence[int]) -> str:
    """A holding written so that the module reads it back as exactly this one holding.

    Named cards run together ("AhKh"); otherwise slots are spaced ("A h", "Ah *"),
    which also keeps two ranks ("A K") from being read as a range.
    """
    slots = [slot_text(m) for m in holding]
    return "".join(slots) if all(len(s) == 2 for s in slots) else " ".join(slots)


def _popcount(mask: int) -> int:
    return bin(mask).count("1")


def _pad(holding: Sequence[int], size: int) -> Holding:
    return tuple(holding) + (FULL_DECK,) * (size - len(holding))


class _Work:
    """Counts the steps of one count and gives up past WORK_LIMIT."""

    def __init__(self) -> None:
        self.steps = 0

    def spend(self, steps: int) -> None:
        self.steps += steps
        if self.steps > WORK_LIMIT:
            raise TooMuchToWeigh(
                "too many ways to deal the other seats to weigh each holding by card removal; "
                "name more of their cards, or ask for an exact answer"
            )


# A filling is counted by how many cards it takes from each class of cards that
# every slot of the spot treats alike: cards a slot names one by one are classes
# of their own (a bit of a mask X); ranks, suits and the unrestricted rest are
# classes of several cards (a count each, in a tuple u). All the card sets with
# the same (X, u) are equally possible, and there are prod C(n_k, u_k) of them.
Fill = Tuple[int, Tuple[int, ...]]


class _Classes:
    """The classes of the live cards, by the restricted slots that contain them."""

    def __init__(self, slots: Set[int], live: int) -> None:
        by_signature: Dict[Tuple[int, ...], int] = {}
        ordered = sorted(slots)
        for card in cards_of(live):
            signature = tuple(i for i, slot in enumerate(ordered) if slot >> card & 1)
            by_signature[signature] = by_signature.get(signature, 0) | 1 << card
        self.singles = 0
        self.groups: List[int] = []  # masks of the classes of several cards
        for mask in by_signature.values():
            if _popcount(mask) == 1:
                self.singles |= mask
            else:
                self.groups.append(mask)
        self.sizes = [_popcount(mask) for mask in self.groups]

    def fills(self, holding: Sequence[int], live: int, work: _Work) -> Counter[Fill]:
        """Every distinct (X, u) a card set filling the holding can have."""
        zero = (0,) * len(self.groups)
        partial: Set[Fill] = {(0, zero)}
        for slot in sorted(holding, key=lambda s: _popcount(s & live)):
            slot &= live
            singles = [1 << c for c in cards_of(slot & self.singles)]
            groups = [k for k, mask in enumerate(self.groups) if mask & slot == mask]
            work.spend(len(partial) * (len(singles) + len(groups)))
            grown: Set[Fill] = set()
            for x, u in partial:
                for bit in singles:
                    if not x & bit:
                        grown.add((x | bit, u))
                for k in groups:
                    if u[k] < self.sizes[k]:
                        grown.add((x, u[:k] + (u[k] + 1,) + u[k + 1:]))
            partial = grown
        return Counter(partial)

    def ways(self, used: Tuple[int, ...], taken: Tuple[int, ...]) -> int:
        """How many card sets take `taken` cards of each class after `used` are gone."""
        out = 1
        for size, before, now in zip(self.sizes, used, taken):
            if now:
                out *= math.comb(size - before, now)
        return out


def count_deals(spot: Spot, seat: int, rows: Sequence[Holding]) -> List[int]:
    """For each holding in `rows`, the number of deals of `spot` in which `seat` holds it:
    what the exact walk of the spot with that holding alone in the seat would count.

    Raises TooMuchToWeigh when counting would take too long.
    """
    work = _Work()
    game = find_game(spot.game)
    assert game is not None
    hole = hole_cards(spot)
    live = deck_of(spot.game) & ~vantor.parse_dead_cards(spot.dead)
    board: Holding = ()
    if spot.board.strip():
        board = tuple(vantor.parse_hand_field(spot.board, 5, True)[0])
    board = _pad(board, board_size(spot))

    # Each entry is a seat (or the board) that restricts its cards, as a list of holdings.
    entries: List[List[Holding]] = []
    dealt = hole  # cards the entries and the row take
    if all(_popcount(s & live) == 1 or s & live == live for s in board):
        # Named board cards are simply gone; open board slots take what is left.
        for s in board:
            if _popcount(s & live) == 1:
                live &= ~s
        open_board = sum(1 for s in board if s & live == live)
    else:
        entries.append([board])
        dealt += len(board)
        open_board = 0
    open_seats: List[int] = []  # per open seat ("**"), how many alternatives it lists
    for j, field in enumerate(spot.hands):
        if j == seat:
            continue
        alternatives = [_pad(h, hole) for h in vantor.parse_hand_field(field, hole, game.short_hands)]
        if all(s & live == live for h in alternatives for s in h):
            open_seats.append(len(alternatives))
        else:
            entries.append(alternatives)
            dealt += hole
    padded = [_pad(h, hole) for h in rows]

    restricted = {s & live for h in [h for e in entries for h in e] + padded for s in h if s & live != live}
    classes = _Classes(restricted, live)

    # Every way to deal the entries, by the cards of each class they use (row-independent).
    states: Counter[Fill] = Counter({(0, (0,) * len(classes.groups)): 1})
    for entry in entries:
        fills: Counter[Fill] = Counter()
        for holding in entry:
            fills.update(classes.fills(holding, live, work))
        grown: Counter[Fill] = Counter()
        work.spend(len(states) * len(fills))
        for (x, u), ways in states.items():
            for (y, v), times in fills.items():
                if x & y or any(a + b > n for a, b, n in zip(u, v, classes.sizes)):
                    continue
                grown[x | y, tuple(a + b for a, b in zip(u, v))] += ways * times * classes.ways(u, v)
        states = grown

    row_fills = [classes.fills(h, live, work) for h in padded]
    counts = _avoiding(row_fills, states, classes, work)

    # Open seats and open board slots take any of the cards left, as many as ever.
    left = _popcount(live) - dealt
    factor = 1
    for listed in open_seats:
        factor *= listed * math.comb(max(left, 0), hole)
        left -= hole
    factor *= math.comb(max(left, 0), open_board)
    return [count * factor for count in counts]


def _avoiding(row_fills: Sequence[Counter[Fill]], states: Counter[Fill], classes: _Classes, work: _Work) -> List[int]:
    """For each row, the deals of the entries (`states`) that leave room for each of its fills."""
    relevant = 0
    widest = 0
    for fills in row_fills:
        for x, _ in fills:
            relevant |= x
            widest = max(widest, _popcount(x))
    by_subsets = sum(
        sum(math.comb(_popcount(x & relevant), k) for k in range(widest + 1)) for x, _ in states
    )
    one_by_one = len(states) * sum(len(fills) for fills in row_fills)
    if one_by_one <= by_subsets:
        work.spend(one_by_one)
        return [
            sum(
                times * ways * classes.ways(u, v)
                for (x, v), times in fills.items()
                for (y, u), ways in states.items()
                if not x & y and all(a + b <= n for a, b, n in zip(u, v, classes.sizes))
            )
            for fills in row_fills
        ]
    # Inclusion-exclusion over a row's single cards X: the deals of the entries that
    # avoid X are all of them, minus those using one card of X, plus those using two...
    # kept apart by how many cards of each larger class the entries used.
    work.spend(by_subsets)
    covering: Dict[Tuple[int, ...], Counter[int]] = {}
    covered: Dict[Tuple[int, ...], int] = {}
    for (x, u), ways in states.items():
        table = covering.setdefault(u, Counter())
        covered[u] = covered.get(u, 0) | x
        bits = [1 << c for c in cards_of(x & relevant)]
        for size in range(min(len(bits), widest) + 1):
            for chosen in combinations(bits, size):
                table[sum(chosen)] += ways
    counts = []
    for fills in row_fills:
        total = 0
        for (x, v), times in fills.items():
            for u, table in covering.items():
                if any(a + b > n for a, b, n in zip(u, v, classes.sizes)):
                    continue
                bits = [1 << c for c in cards_of(x & covered[u])]
                work.spend(1 << len(bits))
                avoiding = 0
                for size in range(len(bits) + 1):
                    sign = -1 if size % 2 else 1
                    for chosen in combinations(bits, size):
                        avoiding += sign * table.get(sum(chosen), 0)
                total += times * avoiding * classes.ways(u, v)
        counts.append(total)
    return counts
