"""Property tests for the text and mask entry points.

A small reference reader written here, independently of the native one,
predicts for any text either the masks or the exact underlined error; the
native readers must agree with it, and must never crash, hang or raise
anything but ValueError on text. The mask entry points, given any masks,
answer or raise one of the request's own errors, and never look at bits
above the deck.
"""

import math
import re

import pytest
from hypothesis import HealthCheck, assume, given, settings
from hypothesis import strategies as st

import vantor

SETTINGS = settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])

WHITE_SPACE = frozenset(
    chr(c)
    for c in [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
              0x2028, 0x2029, 0x202F, 0x205F, 0x3000]
)
RANKS = "23456789TJQKA"
SUITS = "cdhs"
FULL = (1 << 52) - 1
SUIT_BITS = 0x1111111111111


# --- the reference reader ----------------------------------------------------


class Fault(Exception):
    def __init__(self, message, start, length):
        super().__init__(message)
        self.message, self.start, self.length = message, start, length


def rank_of(ch):
    return RANKS.index(ch.upper()) if ch.isascii() and ch.upper() in RANKS and ch else -1


def suit_of(ch):
    return SUITS.index(ch.lower()) if ch.isascii() and ch.lower() in SUITS and ch else -1


def utf8_size(ch):
    # Lone surrogates count as their three-byte form, as the readers see them.
    return len(ch.encode("utf-8", "surrogatepass"))


def card_text(index):
    return RANKS[index // 4] + SUITS[index % 4]


def wrong_count(dealt, written):
    return (f"this game deals {dealt} {'card' if dealt == 1 else 'cards'}, "
            f"but {written} {'was' if written == 1 else 'were'} written")


STAR_NOTE = (": '*' is always exactly one card and never binds to the rank before it, "
             "so 'A*' is two cards, not one")


class Reader:
    """Works on character indices and reports byte offsets of the whole text."""

    def __init__(self, text):
        self.text = text
        self.byte = [0]
        for ch in text:
            self.byte.append(self.byte[-1] + utf8_size(ch))

    def span(self, a, b):
        return self.byte[a], self.byte[b] - self.byte[a]

    def trim(self, a, b):
        while a < b and self.text[a] in WHITE_SPACE:
            a += 1
        while b > a and self.text[b - 1] in WHITE_SPACE:
            b -= 1
        return a, b

    def slots(self, a, b):
        t, out, named, i = self.text, [], set(), a
        while i < b:
            ch = t[i]
            if ch in WHITE_SPACE:
                i += 1
            elif ch == "*":
                out.append(FULL)
                i += 1
            elif rank_of(ch) >= 0:
                if i + 1 < b and suit_of(t[i + 1]) >= 0:
                    card = rank_of(ch) * 4 + suit_of(t[i + 1])
                    if card in named:
                        raise Fault(f"{card_text(card)} is named twice in one hand", self.byte[i], 2)
                    named.add(card)
                    out.append(1 << card)
                    i += 2
                else:
                    out.append(0xF << (4 * rank_of(ch)))
                    i += 1
            elif suit_of(ch) >= 0:
                out.append(SUIT_BITS << suit_of(ch))
                i += 1
            else:
                raise Fault(f"'{ch}' is not a rank, a suit, or '*'", self.byte[i], utf8_size(ch))
        return out


class RangeFault(Exception):
    pass


def combo(token):
    if len(token) not in (2, 3):
        return None
    hi, lo = rank_of(token[0]), rank_of(token[1])
    if hi < 0 or lo < 0:
        return None
    kind = "any"
    if len(token) == 3:
        third = token[2].lower() if token[2].isascii() else ""
        if third not in ("s", "o"):
            return None
        if hi == lo:
            raise RangeFault("a pair cannot be suited or offsuit")
        kind = third
    return max(hi, lo), min(hi, lo), kind


def class_combos(hi, lo, kind):
    if hi == lo:
        return [(1 << (hi * 4 + a), 1 << (hi * 4 + b)) for a in range(4) for b in range(a + 1, 4)]
    return [(1 << (hi * 4 + a), 1 << (lo * 4 + b)) for a in range(4) for b in range(4)
            if kind == "any" or (kind == "s") == (a == b)]


def range_of(piece):
    """Holdings, or None when the piece is not range notation."""
    if "%" in piece:
        raise RangeFault("percentage ranges need a hand-strength ordering this library does not define")
    if "-" in piece:
        left, right = piece.split("-", 1)
        a = combo(left)
        if a is None:
            return None
        b = combo(right)
        if b is None:
            return None
        if a[2] != b[2] or a[0] - a[1] != b[0] - b[1]:
            raise RangeFault("both ends of a range must share the same gap")
        lo_end, hi_end = sorted([a, b])
        gap = a[0] - a[1]
        classes = [(h, h - gap, a[2]) for h in range(lo_end[0], hi_end[0] + 1)]
    elif piece.endswith("+"):
        c = combo(piece[:-1])
        if c is None:
            return None
        hi, lo, kind = c
        classes = ([(r, r, "any") for r in range(hi, 13)] if hi == lo
                   else [(hi, l, kind) for l in range(lo, hi)])
    else:
        c = combo(piece)
        if c is None:
            return None
        classes = [c]
    return [list(pair) for cls in classes for pair in class_combos(*cls)]


def reference_field(text, slots, exact):
    r = Reader(text)
    cuts = [i for i, ch in enumerate(text) if ch == ","]
    pieces = [r.trim(a, b) for a, b in zip([0] + [c + 1 for c in cuts], cuts + [len(text)])]
    holdings = []
    for a, b in pieces:
        content = text[a:b]
        start, length = r.span(a, b)
        if not content:
            raise Fault("nothing to read here", start, 0)
        if slots == 2:
            try:
                combos = range_of(content)
            except RangeFault as e:
                raise Fault(str(e), start, length) from None
            if combos is not None:
                holdings += combos
                continue
        elif any(c in content for c in "+%-"):
            raise Fault("ranges are only written where a hand holds two cards", start, length)
        got = r.slots(a, b)
        n = len(got)
        if (n != slots) if exact else not 1 <= n <= slots:
            note = STAR_NOTE if "*" in content else ""
            raise Fault(wrong_count(slots, n) + note, start, length)
        holdings.append(got)
    return holdings


def reference_dead(text):
    r = Reader(text)
    dead, i = 0, 0
    while i < len(text):
        if text[i] in WHITE_SPACE:
            i += 1
            continue
        j = i
        while j < len(text) and text[j] not in WHITE_SPACE:
            j += 1
        for mask in r.slots(i, j):
            if bin(mask).count("1") != 1:
                start, length = r.span(i, j)
                raise Fault("a dead card must name one card, since every reading changes the answer",
                            start, length)
            dead |= mask
        i = j
    return dead


def underlined(text, fault):
    return f"{text}\n{' ' * fault.start}{'^' * max(fault.length, 1)}\n{fault.message}"


# --- strategies ---------------------------------------------------------------

NOTATION_CHARS = list("AKQJT98765432akqjtcdhsCDHSoO*+-%, ,\t") + [
    "\u00a0", "\u3000", "\u2029", "\u00e9", "x", "\U0001F0A1", "\u200b", "\n", "1", "0",
    "\ud800", "\udfff"]
notation_text = st.text(alphabet=st.sampled_from(NOTATION_CHARS), max_size=40)
any_text = st.text(max_size=40)
PIECES = ["AhKh", "AK", "ak", "QQ+", "A*", "54s-JTs", "Ah K", "AKs", "22-55", "K9o+", "As * *",
          "h", "T", "QQs", "A2s-A5s", "20%", "AhAh", "2c3c4c", "*", "tc td", "99", "KAo+"]
short_notation = st.text(alphabet=st.sampled_from(NOTATION_CHARS[:40]), min_size=1, max_size=4)
pieces_text = st.lists(st.one_of(st.sampled_from(PIECES), short_notation), min_size=1,
                       max_size=4).map(", ".join)
field_text = st.one_of(notation_text, any_text, pieces_text)


def check_caret(text, message):
    """Three lines after the text; the caret line starts at a byte inside the text."""
    assert message.startswith(text + "\n")
    lines = message[len(text) + 1:].split("\n")
    assert len(lines) == 2
    caret, reason = lines
    spaces = len(caret) - len(caret.lstrip(" "))
    assert set(caret[spaces:]) == {"^"}
    data = text.encode("utf-8", "surrogatepass")
    assert spaces <= len(data)
    # The position is where the reported thing actually is.
    if reason.startswith("'") and reason.endswith("' is not a rank, a suit, or '*'"):
        bad = reason[1:-len("' is not a rank, a suit, or '*'")]
        bad = bad.encode("utf-8", "surrogatepass")
        assert data[spaces:spaces + len(bad)] == bad
        assert len(caret) - spaces == len(bad)
    elif reason.endswith(" is named twice in one hand"):
        named = data[spaces:spaces + 2].decode()
        assert named[0].upper() + named[1].lower() == reason[:2]
    return spaces


# --- properties ---------------------------------------------------------------


@SETTINGS
@given(text=field_text, slots=st.one_of(st.just(2), st.integers(0, 8)),
       allow_short=st.booleans())
def test_hand_field_agrees_with_reference(text, slots, allow_short):
    try:
        expected = reference_field(text, slots, not allow_short)
    except Fault as fault:
        with pytest.raises(ValueError) as info:
            vantor.parse_hand_field(text, slots, allow_short)
        assert type(info.value) is ValueError
        message = str(info.value)
        if "\n" not in text:
            assert check_caret(text, message) == fault.start
        assert message == underlined(text, fault)
    else:
        assert vantor.parse_hand_field(text, slots, allow_short=allow_short) == expected


@SETTINGS
@given(text=field_text)
def test_dead_cards_agree_with_reference(text):
    try:
        expected = reference_dead(text)
    except Fault as fault:
        with pytest.raises(ValueError) as info:
            vantor.parse_dead_cards(text)
        message = str(info.value)
        if "\n" not in text:
            assert check_caret(text, message) == fault.start
        assert message == underlined(text, fault)
    else:
        assert vantor.parse_dead_cards(text) == expected


@SETTINGS
@given(text=field_text, slots=st.integers(0, 2**64 - 1))
def test_large_slot_counts_never_crash(text, slots):
    try:
        vantor.parse_hand_field(text, slots, True)
    except ValueError as e:
        assert type(e) is ValueError


@SETTINGS
@given(text=field_text)
def test_card_index_returns_or_raises_value_error(text):
    try:
        index = vantor.card_index(text)
    except ValueError as e:
        assert type(e) is ValueError
    else:
        assert 0 <= index <= 51


@pytest.mark.skipif(not hasattr(vantor, "score_batch"), reason="score_batch is not built")
@SETTINGS
@given(kernel=st.one_of(st.sampled_from(["high", "deuce_seven", "low_a5", "short_deck", "badugi",
                                         "omaha"]), any_text),
       hands=st.lists(field_text, max_size=4))
def test_score_batch_returns_or_raises_value_error(kernel, hands):
    try:
        scores = vantor.score_batch(kernel, hands)
    except ValueError as e:
        assert type(e) is ValueError
    else:
        assert len(scores) == len(hands)


@SETTINGS
@given(arg=st.one_of(st.none(), st.integers(), st.floats(), st.binary(), st.lists(st.integers())))
def test_wrong_argument_types(arg):
    for call in (lambda: vantor.parse_dead_cards(arg), lambda: vantor.parse_hand_field(arg, 2),
                 lambda: vantor.card_index(arg), lambda: vantor.parse_hand_field("Ah", 3, arg)):
        with pytest.raises(TypeError):
            call()
    if isinstance(arg, int):
        if arg < 0 or arg >= 2**64:
            with pytest.raises(OverflowError):
                vantor.parse_hand_field("AhKh", arg)
        elif arg == 2:
            assert vantor.parse_hand_field("AhKh", arg) == [[1 << 50, 1 << 46]]
        else:
            with pytest.raises(ValueError):
                vantor.parse_hand_field("AhKh", arg)
    elif arg is not None:
        with pytest.raises(TypeError):
            vantor.parse_hand_field("AhKh", arg)


# --- round trip -----------------------------------------------------------------

blank = st.text(alphabet=st.sampled_from([" ", "\t", "\u00a0", "\u3000", "\u2003"]), max_size=2)


@st.composite
def written_holding(draw, size):
    """One holding written out with random case and spacing, and its masks."""
    kinds = draw(st.lists(st.sampled_from(["card", "rank", "suit", "star"]), min_size=size,
                          max_size=size))
    used, parts, masks = set(), [], []
    for kind in kinds:
        if kind == "card":
            card = draw(st.integers(0, 51).filter(lambda c: c not in used))
            used.add(card)
            rank, suit = RANKS[card // 4], SUITS[card % 4]
            parts.append(draw(st.sampled_from([rank, rank.lower()])) +
                         draw(st.sampled_from([suit, suit.upper()])))
            masks.append(1 << card)
        elif kind == "rank":
            r = draw(st.integers(0, 12))
            parts.append(draw(st.sampled_from([RANKS[r], RANKS[r].lower()])))
            masks.append(0xF << (4 * r))
        elif kind == "suit":
            s = draw(st.integers(0, 3))
            parts.append(draw(st.sampled_from([SUITS[s], SUITS[s].upper()])))
            masks.append(SUIT_BITS << s)
        else:
            parts.append("*")
            masks.append(FULL)
    text = draw(blank)
    for i, part in enumerate(parts):
        text += part
        if i + 1 < len(parts):
            gap = draw(blank)
            # A rank written directly before a suit would read as one card.
            if kinds[i] == "rank" and kinds[i + 1] == "suit" and not gap:
                gap = " "
            text += gap
    return text + draw(blank), masks


@st.composite
def written_field(draw):
    slots = draw(st.sampled_from([1, 3, 4, 5, 6, 7]))
    exact = draw(st.booleans())
    sizes = draw(st.lists(st.integers(1, slots) if not exact else st.just(slots),
                          min_size=1, max_size=4))
    holdings = [draw(written_holding(n)) for n in sizes]
    return ",".join(t for t, _ in holdings), slots, exact, [m for _, m in holdings]


@SETTINGS
@given(written_field())
def test_written_fields_read_back(case):
    text, slots, exact, masks = case
    assert vantor.parse_hand_field(text, slots, allow_short=not exact) == masks


@SETTINGS
@given(cards=st.lists(st.integers(0, 51), max_size=12), seps=st.lists(blank, min_size=13,
                                                                      max_size=13))
def test_written_dead_cards_read_back(cards, seps):
    # Within one word a card may not repeat; across words it may.
    words, word, seen = [], "", set()
    for card, sep in zip(cards, seps):
        if card in seen:
            words.append(word)
            word, seen = "", set()
        word += card_text(card)
        seen.add(card)
        if sep:
            words.append(word)
            word, seen = "", set()
    words.append(word)
    text = seps[-1] + " ".join(w for w in words if w) + seps[0]
    expected = 0
    for card in cards:
        expected |= 1 << card
    assert vantor.parse_dead_cards(text) == expected


def test_reference_reader_matches_known_answers():
    # The model itself must hold the documented answers before it judges anything.
    assert reference_field("AhKh", 2, True) == [[1 << 50, 1 << 46]]
    assert len(reference_field("QQ, AKs", 2, True)) == 10
    with pytest.raises(Fault) as info:
        reference_field("AhKh,", 2, True)
    assert (info.value.start, info.value.length) == (5, 0)
    assert reference_dead("2c 2d") == 3


# --- the mask entry points -------------------------------------------------------

GAMES = {row["key"]: row for row in vantor.variants()}
REQUEST_ERRORS = re.compile("|".join([
    r"a spot needs at least two seats to have an answer",
    r"\d+ players is more than this game can deal; the deck seats \d+",
    r"Starting hands with different sizes",
    r"Not enough cards in hand: \d+",
    r"No deal can satisfy a hand",
    r"No deal can satisfy the hands, board and dead cards together",
    r"Invalid number of community cards: \d+",
    r"this game turns 1 board card face up before the betting, so a board of 0 is not a spot "
    r"that occurs; write `\*` for a card that has been dealt and not yet seen",
    r"Found duplicated card: [2-9TJQKA][cdhs]",
    r"[2-9TJQKA][cdhs] is not in this game's deck",
    r"gave up after \d+ draws, of which only \d+ could be used\. .*",
]))

def mostly(common, *rare, odds=9):
    """`common` `odds` times to one, else one of `rare`."""
    return st.sampled_from([True] * odds + [False]).flatmap(
        lambda usual: common if usual else st.one_of(*rare))


# Mostly named cards, so that spots stay small enough to walk; now and then
# a rank, a suit, the deck, nothing at all or any 64-bit value.
slot_mask = mostly(
    st.sampled_from([1 << c for c in range(52)]),
    st.sampled_from([0xF << (4 * r) for r in range(13)] + [SUIT_BITS << s for s in range(4)]),
    st.sampled_from([FULL, 0]),
    st.integers(0, 2**64 - 1),
)


@st.composite
def mask_spot(draw):
    key = draw(st.sampled_from(sorted(GAMES)))
    hole, board_cards = GAMES[key]["hole_cards"], GAMES[key]["board_cards"]
    n = draw(mostly(st.integers(2, 3), st.integers(0, 12)))
    # Mostly the game's own length; sometimes empty, short or over-long lists.
    size = draw(mostly(st.just(hole), st.integers(0, hole + 2)))
    seats = []
    for _ in range(n):
        count = draw(mostly(st.integers(1, 2), st.just(0), odds=30))
        seat = [draw(st.lists(slot_mask, min_size=size, max_size=size)) for _ in range(count)]
        if seat and draw(mostly(st.just(False), st.just(True), odds=30)):
            seat.append(draw(st.lists(slot_mask, max_size=hole + 2)))  # another length
        seats.append(seat)
    # Mostly at most one board card to come, so that the walks stay short.
    length = mostly(st.integers(max(board_cards - 1, 0), board_cards), st.integers(0, board_cards + 1))
    board = draw(length.flatmap(lambda n: st.lists(slot_mask, min_size=n, max_size=n)))
    # A card of one seat held again by another seat or the board.
    named = [m for seat in seats for alt in seat for m in alt if m & FULL and m & (m - 1) == 0]
    if named and draw(st.integers(0, 4)) == 0:
        card = draw(st.sampled_from(named))
        if board and draw(st.booleans()):
            board[draw(st.integers(0, len(board) - 1))] = card
        elif len(seats) > 1 and seats[-1] and seats[-1][0]:
            seats[-1][0][0] = card
    dead = draw(st.one_of(st.just(0), slot_mask))
    return key, seats, board, dead


def outcome(call):
    try:
        return call()
    except ValueError as e:
        assert type(e) is ValueError
        assert REQUEST_ERRORS.fullmatch(str(e)), str(e)
        return str(e)


def check_answer(result, seats, exact):
    if not isinstance(result, dict):
        return
    assert len(result["players"]) == seats
    assert result["exact"] is exact
    if result["samples"] > 0:
        assert math.isclose(sum(p["equity"] for p in result["players"]), 1.0, abs_tol=1e-9)
    if exact:
        assert all(p["std_error"] == 0.0 for p in result["players"])


@settings(max_examples=120, deadline=None, suppress_health_check=list(HealthCheck))
@given(spot=mask_spot(), high=st.lists(st.integers(0, 4095).map(lambda h: h << 52), min_size=1,
                                       max_size=8))
def test_masks_answer_or_raise_a_request_error(spot, high):
    key, seats, board, dead = spot
    clean = ([[[m & FULL for m in alt] for alt in seat] for seat in seats],
             [m & FULL for m in board], dead & FULL)
    # The same spot with bits above the deck, which name no card, in every mask.
    noisy = ([[[m | high[(i + j) % len(high)] for j, m in enumerate(alt)]
               for i, alt in enumerate(seat)] for seat in clean[0]],
             [m | high[0] for m in clean[1]], clean[2] | high[-1])
    sampled = outcome(lambda: vantor.chunk(key, *clean, 40, 11, 2))
    check_answer(sampled, len(seats), False)
    assert outcome(lambda: vantor.chunk(key, *noisy, 40, 11, 2)) == sampled
    # Walks with many open slots take seconds; they add nothing here.
    wide = sum(bin(m).count("1") != 1 for seat in clean[0] for alt in seat for m in alt)
    if wide + max(GAMES[key]["board_cards"] - len(board), 0) > 2:
        return
    walked = outcome(lambda: vantor.exact(key, *clean))
    check_answer(walked, len(seats), True)
    assert outcome(lambda: vantor.exact(key, *noisy)) == walked
