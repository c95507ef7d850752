import inspect
import os
import subprocess
import sys

import pytest

import vantor


def test_names_and_indices_round_trip():
    assert vantor.card_name(0) == "2c"
    assert vantor.card_name(51) == "As"
    assert vantor.card_name(index=34) == "Th"
    assert vantor.card_index("As") == 51
    assert vantor.card_index("a s") == 51
    assert vantor.card_index(text="aS") == 51
    for i in range(52):
        assert vantor.card_index(vantor.card_name(i)) == i


def test_full_deck_is_every_card():
    assert vantor.full_deck() == 4503599627370495
    assert vantor.full_deck() == sum(1 << vantor.card_index(vantor.card_name(i)) for i in range(52))


@pytest.mark.parametrize(
    "call, kind, text",
    [
        (lambda: vantor.card_name(52), ValueError, "52 is not a card index"),
        (lambda: vantor.card_name(255), ValueError, "255 is not a card index"),
        (lambda: vantor.card_index("AsKd"), ValueError, '"AsKd" names 2 cards, not one'),
        (lambda: vantor.card_index(""), ValueError, '"" names 0 cards, not one'),
        (lambda: vantor.card_index("  "), ValueError, '"  " names 0 cards, not one'),
        (lambda: vantor.card_index("1s"), ValueError, "Invalid rank character: 1"),
        (lambda: vantor.card_index("Ax"), ValueError, "Invalid suit character: x"),
        (lambda: vantor.card_index("10h"), ValueError, "Uneven number of chars"),
        (lambda: vantor.card_index("\u00e9s"), ValueError, "Invalid rank character: \u00e9"),
    ],
)
def test_value_errors_carry_exact_texts(call, kind, text):
    with pytest.raises(kind) as info:
        call()
    assert type(info.value) is kind
    assert str(info.value) == text


@pytest.mark.parametrize(
    "text, quoted",
    [
        ("As\tKd\n", r'"As\tKd\n"'),
        ("\r\x0b\x0c", r'"\r\u{b}\u{c}"'),
        ("\x85As\u2028Kd", r'"\u{85}As\u{2028}Kd"'),
        (" ", '" "'),
    ],
)
def test_quoted_form_of_user_text(text, quoted):
    with pytest.raises(ValueError) as info:
        vantor.card_index(text)
    count = len([c for c in text if not c.isspace()]) // 2
    assert str(info.value) == f"{quoted} names {count} cards, not one"


@pytest.mark.parametrize("value", [256, -1, 2**64, -(2**70)])
def test_out_of_range_indices_overflow(value):
    with pytest.raises(OverflowError):
        vantor.card_name(value)


def test_argument_conversion_is_cpythons():
    with pytest.raises(TypeError):
        vantor.card_name("As")
    with pytest.raises(TypeError):
        vantor.card_name(1.0)
    with pytest.raises(TypeError):
        vantor.card_index(51)
    with pytest.raises(TypeError):
        vantor.card_index()
    with pytest.raises(TypeError):
        vantor.card_index("As", "Kd")
    with pytest.raises(TypeError):
        vantor.card_index(txt="As")
    with pytest.raises(TypeError):
        vantor.card_index("As", text="As")
    with pytest.raises(TypeError):
        vantor.full_deck(1)


def test_signatures_and_docstrings():
    assert str(inspect.signature(vantor.card_index)) == "(text)"
    assert str(inspect.signature(vantor.card_name)) == "(index)"
    assert str(inspect.signature(vantor.full_deck)) == "()"
    assert str(inspect.signature(vantor.default_thread_count)) == "()"
    assert vantor.card_index.__doc__ == "The index of a named card, as `rank * 4 + suit`."
    assert vantor.full_deck.__doc__ == "A mask holding every card in a standard deck."
    assert vantor.__doc__ == ""


def test_module_holds_functions_only():
    public = [n for n in dir(vantor) if not n.startswith("__")]
    assert all(callable(getattr(vantor, n)) for n in public)


def test_default_thread_count_honours_affinity():
    count = vantor.default_thread_count()
    assert 1 <= count <= 4
    assert count == min(4, len(os.sched_getaffinity(0)))
    one = subprocess.run(
        ["taskset", "-c", "0", sys.executable, "-c", "import vantor; print(vantor.default_thread_count())"],
        capture_output=True,
        text=True,
        check=True,
    )
    assert one.stdout.strip() == "1"


def test_module_can_be_imported_in_a_subinterpreter_free_way():
    # Multi-phase initialisation: the definition object comes back from PyInit.
    import importlib.util

    found = importlib.util.find_spec("vantor")
    fresh = importlib.util.module_from_spec(found)
    found.loader.exec_module(fresh)
    assert fresh is not vantor
    assert fresh.card_name(0) == "2c"
