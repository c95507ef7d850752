"""Which field of a spot a notation error of the engine came from, underlined.

Equity calls report a notation error on one line ("... (at byte 3)") without
saying which field it is in; the module's readers give the underlined form of
one field. Reading the fields again in the engine's order finds it.
"""

from __future__ import annotations

import re
from typing import Callable, Optional, Tuple

import vantor

from .spot import Spot, find_game

_AT_BYTE = re.compile(r"^(.*) \(at byte (\d+)\)$", re.DOTALL)
_UNEXPECTED = re.compile(r"^'(.)' is not a rank, a suit, or '\*'$", re.DOTALL)


def underline(text: str, start: int, length: int, message: str) -> str:
    """The three-line form of the notation readers: the text, carets under the span, the message."""
    return f"{text}\n{' ' * start}{'^' * max(length, 1)}\n{message}"


def locate(spot: Spot, error_text: str) -> Optional[Tuple[str, str]]:
    """(field name, underlined field) for a notation error of an equity call on `spot`,
    or None when the error is not one. Hands are named "hand 1", "hand 2", ...
    """
    found = _AT_BYTE.match(error_text)
    game = find_game(spot.game)
    if found is None or game is None:
        return None
    message, start = found.group(1), int(found.group(2))
    for i, field in enumerate(spot.hands):
        failure = _reader_error(vantor.parse_hand_field, field, game.hole_cards, game.short_hands)
        if failure is not None:
            return (f"hand {i + 1}", failure) if _same(failure, message, start) else None
    # The engine reads the board before the dead cards; there is no public board
    # reader, so a board error is underlined here. Only a dead-card error with the
    # same message at the same byte could be mistaken for it.
    failure = _reader_error(vantor.parse_dead_cards, spot.dead)
    if failure is not None and _same(failure, message, start):
        return "dead cards", failure
    return "board", underline(spot.board, start, _board_span(spot.board, start, message), message)


def _reader_error(reader: Callable[..., object], *args: object) -> Optional[str]:
    try:
        reader(*args)
    except ValueError as e:
        return str(e)
    return None


def _same(underlined: str, message: str, start: int) -> bool:
    # The field itself may hold line breaks; the last two lines are the readers' own.
    _, carets, last = underlined.rsplit("\n", 2)
    return last == message and len(carets) - len(carets.lstrip(" ")) == start


def _board_span(board: str, start: int, message: str) -> int:
    char = _UNEXPECTED.match(message)
    if char is not None:
        return len(char.group(1).encode())
    if message.endswith("is named twice in one hand"):
        return 2
    # Too many cards: the whole board without its trailing whitespace.
    return len(board.rstrip().encode()) - start
