import inspect

import pytest

import vantor

AH, KH = 1 << 50, 1 << 46


def test_hand_field_exact_and_short():
    assert vantor.parse_hand_field("AhKh", 2) == [[AH, KH]]
    with pytest.raises(ValueError) as info:
        vantor.parse_hand_field("AhKh", 3)
    assert str(info.value) == "AhKh\n^^^^\nthis game deals 3 cards, but 2 were written"
    assert vantor.parse_hand_field("AhKh", 3, True) == [[AH, KH]]
    assert vantor.parse_hand_field(text="AhKh", slots=3, allow_short=True) == [[AH, KH]]


def test_hand_field_alternatives_and_ranges():
    qq_aks = vantor.parse_hand_field("QQ, AKs", 2)
    assert len(qq_aks) == 10
    assert qq_aks[0] == [1 << 40, 1 << 41]
    assert qq_aks[6] == [1 << 48, 1 << 44]
    assert vantor.parse_hand_field("As * *", 3) == [[1 << 51, vantor.full_deck(), vantor.full_deck()]]
    assert vantor.parse_hand_field("AK", 4, allow_short=True) == [[0xF << 48, 0xF << 44]]
    assert len(vantor.parse_hand_field("AK", 2)) == 16


@pytest.mark.parametrize(
    "text, slots, lines",
    [
        ("AhAh", 2, ["AhAh", "  ^^", "Ah is named twice in one hand"]),
        ("AhKh,", 2, ["AhKh,", "     ^", "nothing to read here"]),
        ("", 2, ["", "^", "nothing to read here"]),
        ("QQ+", 4, ["QQ+", "^^^", "ranges are only written where a hand holds two cards"]),
        ("AhKh, QQs", 2, ["AhKh, QQs", "      ^^^", "a pair cannot be suited or offsuit"]),
        ("10%", 2, ["10%", "^^^", "percentage ranges need a hand-strength ordering this "
                                  "library does not define"]),
        ("A2s-A5s", 2, ["A2s-A5s", "^^^^^^^", "both ends of a range must share the same gap"]),
        ("A*", 1, ["A*", "^^", "this game deals 1 card, but 2 were written: '*' is always exactly "
                               "one card and never binds to the rank before it, so 'A*' is two "
                               "cards, not one"]),
        # The caret line counts bytes, so it sits one column further right after "é".
        ("\u00e9Ah", 2, ["\u00e9Ah", "^^", "'\u00e9' is not a rank, a suit, or '*'"]),
        ("\u00a0AhXh", 2, ["\u00a0AhXh", "    ^", "'X' is not a rank, a suit, or '*'"]),
    ],
)
def test_hand_field_errors_are_underlined(text, slots, lines):
    with pytest.raises(ValueError) as info:
        vantor.parse_hand_field(text, slots)
    assert type(info.value) is ValueError
    assert str(info.value).split("\n") == lines


def test_dead_cards():
    assert vantor.parse_dead_cards("2c 2d") == 3
    assert vantor.parse_dead_cards("2c2D") == 3
    assert vantor.parse_dead_cards("Ah Ah") == AH
    assert vantor.parse_dead_cards("") == 0
    assert vantor.parse_dead_cards(text="\u3000") == 0
    for text, lines in [
        ("AhAh", ["AhAh", "  ^^", "Ah is named twice in one hand"]),
        ("2c *", ["2c *", "   ^", "a dead card must name one card, since every reading changes "
                                 "the answer"]),
        ("2c Ah-Kh", ["2c Ah-Kh", "     ^", "'-' is not a rank, a suit, or '*'"]),
        ("AKs", ["AKs", "^^^", "a dead card must name one card, since every reading changes "
                               "the answer"]),
        ("Ah,Kd", ["Ah,Kd", "  ^", "',' is not a rank, a suit, or '*'"]),
        ("Kx", ["Kx", " ^", "'x' is not a rank, a suit, or '*'"]),
    ]:
        with pytest.raises(ValueError) as info:
            vantor.parse_dead_cards(text)
        assert str(info.value).split("\n") == lines


def test_text_with_nul_characters_is_kept_whole():
    with pytest.raises(ValueError) as info:
        vantor.parse_dead_cards("Ah\0Kd")
    assert str(info.value) == "Ah\0Kd\n  ^\n'\0' is not a rank, a suit, or '*'"


def test_argument_conversion():
    with pytest.raises(TypeError):
        vantor.parse_hand_field("AhKh")
    with pytest.raises(TypeError):
        vantor.parse_hand_field(b"AhKh", 2)
    with pytest.raises(TypeError):
        vantor.parse_hand_field("AhKh", 2.0)
    with pytest.raises(TypeError):
        vantor.parse_hand_field("AhKh", 2, 1)
    with pytest.raises(TypeError):
        vantor.parse_hand_field("AhKh", 2, None)
    with pytest.raises(TypeError):
        vantor.parse_hand_field("AhKh", 2, short=True)
    with pytest.raises(TypeError):
        vantor.parse_hand_field("AhKh", 2, False, 1)
    with pytest.raises(OverflowError):
        vantor.parse_hand_field("AhKh", -1)
    with pytest.raises(OverflowError):
        vantor.parse_hand_field("AhKh", 2**64)
    with pytest.raises(TypeError):
        vantor.parse_dead_cards(None)
    with pytest.raises(TypeError):
        vantor.parse_dead_cards()


def test_signatures_and_docstrings():
    assert str(inspect.signature(vantor.parse_hand_field)) == "(text, slots, allow_short=False)"
    assert str(inspect.signature(vantor.parse_dead_cards)) == "(text)"
    assert vantor.parse_dead_cards.__doc__ == (
        "Reads dead cards into one mask. They must be named exactly.")
    doc = vantor.parse_hand_field.__doc__.split("\n\n")
    assert " ".join(doc[0].split()) == (
        "Reads a hand field into masks, which is how another implementation of the notation "
        "can be checked against this one without running a whole simulation.")
    assert doc[1].startswith("`slots` is how many cards the game deals a player.")


def test_long_field_reads():
    field = ", ".join(["AhKh", "QQ", "2c*"] * 9000)
    assert len(field) > 100_000
    holdings = vantor.parse_hand_field(field, 2)
    assert len(holdings) == 9000 * 8
    assert holdings[-1] == [1, vantor.full_deck()]
    with pytest.raises(ValueError) as info:
        vantor.parse_hand_field(field + ", AhAh", 2)
    caret = str(info.value).split("\n")[1]
    assert caret == " " * (len(field) + 4) + "^^"


GAMES = [
    ("holdem", "Hold'em", 2, 5),
    ("short_deck", "Short Deck Hold'em (flush beats full house)", 2, 5),
    ("omaha", "Omaha", 4, 5),
    ("omaha_five", "5-Card Omaha", 5, 5),
    ("omaha_six", "6-Card Omaha", 6, 5),
    ("omaha_hi_lo", "Omaha Hi/Lo", 4, 5),
    ("omaha_five_hi_lo", "5-Card Omaha Hi/Lo", 5, 5),
    ("courchevel", "Courchevel", 5, 5),
    ("courchevel_hi_lo", "Courchevel Hi/Lo", 5, 5),
    ("stud", "Seven-Card Stud", 7, 0),
    ("stud_hi_lo", "Seven-Card Stud Hi/Lo", 7, 0),
    ("razz", "Razz", 7, 0),
    ("deuce_seven", "2-7 Lowball (single draw)", 5, 0),
    ("five_card_draw", "5-Card Draw", 5, 0),
    ("badugi", "Badugi (single draw)", 4, 0),
]


@pytest.mark.skipif(not hasattr(vantor, "variants"), reason="variants is not built")
def test_variants():
    assert [(r["key"], r["label"], r["hole_cards"], r["board_cards"])
            for r in vantor.variants()] == GAMES
    rows = vantor.variants()
    assert len(rows) == 15
    for row in rows:
        assert list(row) == ["key", "label", "hole_cards", "board_cards", "deck", "deck_size"]
        assert isinstance(row["key"], str) and isinstance(row["label"], str)
        assert row["deck_size"] == bin(row["deck"]).count("1")
    assert rows[0]["key"] == "holdem" and rows[0]["label"] == "Hold'em"
    assert (rows[0]["hole_cards"], rows[0]["board_cards"]) == (2, 5)
    assert rows[1]["deck"] == 4503599627304960 and rows[1]["deck_size"] == 36
    assert all(r["deck"] == vantor.full_deck() and r["deck_size"] == 52
               for i, r in enumerate(rows) if i != 1)
    assert len({r["key"] for r in rows}) == 15
    assert vantor.variants() == rows and vantor.variants() is not rows
    assert str(inspect.signature(vantor.variants)) == "()"
    with pytest.raises(TypeError):
        vantor.variants(1)


@pytest.mark.skipif(not hasattr(vantor, "exact_from_text"), reason="the equity functions are not built")
def test_every_listed_key_is_accepted():
    for row in vantor.variants():
        try:
            vantor.exact_from_text(row["key"], [])
        except ValueError as e:
            assert not str(e).startswith("no game called "), row["key"]
    with pytest.raises(ValueError, match="^no game called "):
        vantor.exact_from_text("HOLDEM", [])


# A lone surrogate cannot be written in UTF-8; it is still one character that
# is not a card, reported where it stands (its three-byte form counts bytes).
@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: vantor.card_index("A\ud800"), "Invalid suit character: \ud800"),
        (lambda: vantor.card_index("\udfffs"), "Invalid rank character: \udfff"),
        (lambda: vantor.parse_hand_field("AhK\ud800", 2),
         "AhK\ud800\n   ^^^\n'\ud800' is not a rank, a suit, or '*'"),
        (lambda: vantor.parse_dead_cards("Ah \udc80"),
         "Ah \udc80\n   ^^^\n'\udc80' is not a rank, a suit, or '*'"),
        (lambda: vantor.chunk_from_text("holdem", ["AhKh", "\ud83dQd"]),
         "'\ud83d' is not a rank, a suit, or '*' (at byte 0)"),
        (lambda: vantor.exact_from_text("holdem", ["AhKh", "QsQd"], "2c\ud800"),
         "'\ud800' is not a rank, a suit, or '*' (at byte 2)"),
        (lambda: vantor.exact_from_text("holdem", ["AhKh", "QsQd"], "", "2c \ud800 3d"),
         "'\ud800' is not a rank, a suit, or '*' (at byte 3)"),
        (lambda: vantor.chunk_from_text("hold\ud800em", ["AhKh", "QsQd"]),
         'no game called "hold\\u{d800}em"; call variants() for the list'),
        (lambda: vantor.score_batch("hi\ud800gh", ["AhKh"]), 'no kernel called "hi\\u{d800}gh"'),
        (lambda: vantor.score_batch("high", ["AhKhQhJhTh", "AhKhQhJ\ud800"]),
         "Invalid suit character: \ud800"),
    ],
)
def test_lone_surrogates_are_characters_like_any_other(call, text):
    with pytest.raises(ValueError) as info:
        call()
    assert type(info.value) is ValueError
    assert str(info.value) == text
