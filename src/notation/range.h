// Range shorthand for two-card hands: "AKs", "QQ", "TT+", "54s-JTs".
//
// One comma-free piece of a hand field either names a list of two-card combos,
// fails with a range error kind, or is not range notation at all (plain cards
// and slots such as "AhKh" or "A*"), in which case the caller reads it as slots.
//
//   auto r = parse_range("ATs+");   // 16 combos: ATs, AJs, AQs, AKs
//   if (!r) ...                     // r.error() is a NotationErrorKind
//   else if (!*r) ...               // not range notation
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "cards/card.h"
#include "error/expected.h"
#include "notation/notation_error.h"

namespace vantor {

enum class Suitedness : std::uint8_t { Suited, Offsuit, Any };

// One hand class of the shorthand: rank values 2..14 with high >= low (equal
// for a pair, which is always `Any`).
struct Combo {
  std::uint8_t high;
  std::uint8_t low;
  Suitedness suitedness;

  constexpr unsigned gap() const { return unsigned{high} - unsigned{low}; }
  friend constexpr bool operator==(Combo, Combo) = default;
};
static_assert(sizeof(Combo) == 3);

// Two concrete cards: the high card first, or for a pair the lower suit first.
using TwoCardCombo = std::array<Card, 2>;

// Reads one token exactly as written (no trimming): a Combo, nullopt when the
// token is no combo, or PairWithSuitedness.
[[nodiscard]] Expected<std::optional<Combo>, NotationErrorKind> parse_combo(std::string_view token);

// The classes from one end of a dash range to the other, lower end first
// whichever was written first; GapMismatch when the ends differ in gap or
// suitedness.
[[nodiscard]] Expected<std::vector<Combo>, NotationErrorKind> walk_between(Combo a, Combo b);

// Every two-card combo of one class, in the fixed suit order.
void expand_combo(Combo combo, std::vector<TwoCardCombo>& out);

// The whole reader for one trimmed piece: its combos in order, nullopt when the
// piece is not range notation, or a range error kind (PercentRange,
// PairWithSuitedness, GapMismatch).
[[nodiscard]] Expected<std::optional<std::vector<TwoCardCombo>>, NotationErrorKind> parse_range(
    std::string_view piece);

}  // namespace vantor
