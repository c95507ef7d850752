"""Poker equity for fifteen games, exact or by seeded Monte Carlo.

The three dictionary types below exist only for type checkers: import them
under ``typing.TYPE_CHECKING``. At run time the functions return plain dicts.
"""

from typing import Optional, Sequence, TypedDict, type_check_only

@type_check_only
class PlayerEquity(TypedDict):
    """One seat's answer, an entry of ``EquityResult["players"]``."""

    equity: float
    win: float
    tie: float
    low_equity: float
    scoop: float
    high_win: float
    high_tie: float
    low_win: float
    low_tie: float
    std_error: float

@type_check_only
class EquityResult(TypedDict):
    """The dictionary every equity function returns.

    Each list holds one float per seat, in seat order; counts are weights.
    """

    samples: int
    exact: bool
    attempts: int
    acceptance: float
    weighted: bool
    weight_sum: float
    weight_square_sum: float
    effective_samples: float
    share_sum: list[float]
    share_square_sum: list[float]
    square_weight_share_sum: list[float]
    low_share_sum: list[float]
    win_count: list[float]
    tie_count: list[float]
    scoop_count: list[float]
    high_win_count: list[float]
    high_tie_count: list[float]
    low_win_count: list[float]
    low_tie_count: list[float]
    players: list[PlayerEquity]

@type_check_only
class VariantEntry(TypedDict):
    """One game, an entry of ``variants()``."""

    key: str
    label: str
    hole_cards: int
    board_cards: int
    deck: int
    deck_size: int

def variants() -> list[VariantEntry]: ...
def chunk(
    variant: str,
    hands: Sequence[Sequence[Sequence[int]]],
    board: Sequence[int],
    dead: int,
    samples: int,
    seed: int = 0,
    threads: int = 0,
) -> EquityResult: ...
def chunk_from_text(
    variant: str,
    hands: Sequence[str],
    board: str = "",
    dead: str = "",
    samples: int = 100000,
    seed: int = 0,
    threads: int = 0,
) -> EquityResult: ...
def exact(
    variant: str,
    hands: Sequence[Sequence[Sequence[int]]],
    board: Sequence[int],
    dead: int,
) -> Optional[EquityResult]: ...
def exact_from_text(
    variant: str, hands: Sequence[str], board: str = "", dead: str = ""
) -> Optional[EquityResult]: ...
def default_thread_count() -> int: ...
def parse_hand_field(text: str, slots: int, allow_short: bool = False) -> list[list[int]]: ...
def parse_dead_cards(text: str) -> int: ...
def card_index(text: str) -> int: ...
def card_name(index: int) -> str: ...
def score_batch(kernel: str, hands: Sequence[str]) -> list[int]: ...
def full_deck() -> int: ...
