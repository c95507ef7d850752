// Readers for hand fields, boards and dead cards.
//
// Each reader is a free function that returns its result or one NotationError
// whose start and length are byte offsets into the text exactly as passed, so
// the caller can underline the span.
//
//   auto hand = parse_hand("QQ+, AKs", 2);   // 30 + 4 holdings
//   auto board = parse_board("Jc 7d *", 5);  // [Jc], [7d], [any card]
//   auto dead = parse_dead("2c 2d");         // {2c, 2d}
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "cards/card.h"
#include "error/expected.h"
#include "notation/hand_spec.h"
#include "notation/notation_error.h"

namespace vantor {

template <class T>
using NotationResult = Expected<T, NotationError>;

// A piece of text without its leading and trailing whitespace, and the offset
// where it starts in the caller's text.
struct Trimmed {
  std::string_view text;
  std::size_t offset;
};

// Strips Unicode White_Space at both ends; offset = base + the stripped lead.
Trimmed trimmed(std::string_view text, std::size_t base);

// Reads cards, ranks, suits and "*" into slot sets in text order. Error
// positions are base + the byte index within text.
[[nodiscard]] NotationResult<std::vector<CardSet>> parse_slots(std::string_view text,
                                                               std::size_t base);

// The common body of the two hand readers: comma-separated alternatives, each
// exactly `slots` cards (exact) or 1 to `slots` cards; ranges when slots is 2.
// `halted` is asked every few thousand alternatives; once it answers true the
// reading ends early with part of the field.
[[nodiscard]] NotationResult<HandSpec> parse_field(std::string_view text, std::size_t slots,
                                                   bool exact,
                                                   const std::function<bool()>& halted = {});

// A hand field whose every holding has exactly `slots` slot sets.
[[nodiscard]] NotationResult<HandSpec> parse_hand(std::string_view text, std::size_t slots);

// A hand field for games where cards arrive over time: 1 to `slots` per holding.
[[nodiscard]] NotationResult<HandSpec> parse_hand_up_to(std::string_view text, std::size_t slots);

// A board: one list of 0 to `max` slot sets, no alternatives, no ranges.
[[nodiscard]] NotationResult<std::vector<CardSet>> parse_board(std::string_view text,
                                                               std::size_t max);

// Dead cards: whitespace-separated words, every slot naming exactly one card.
[[nodiscard]] NotationResult<CardSet> parse_dead(std::string_view text);

}  // namespace vantor
