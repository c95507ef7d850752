#include "notation/range.h"

#include <algorithm>
#include <utility>

namespace vantor {
namespace {

using ComboRead = Expected<std::optional<Combo>, NotationErrorKind>;

// The reading of a token that ends the piece (alone, or before "+"): no combo
// means the piece is not range notation.
using RangeRead = Expected<std::optional<std::vector<TwoCardCombo>>, NotationErrorKind>;

constexpr unsigned rank_value_of(char c) {
  const int r = rank_of_char(static_cast<unsigned char>(c));
  return r < 0 ? 0 : static_cast<unsigned>(r) + 2;
}

RangeRead expand_all(const std::vector<Combo>& classes) {
  std::vector<TwoCardCombo> combos;
  combos.reserve(classes.size() * 16);
  for (Combo c : classes) expand_combo(c, combos);
  return std::optional(std::move(combos));
}

}  // namespace

ComboRead parse_combo(std::string_view token) {
  // Every character a combo accepts is ASCII, so counting bytes decides the
  // same as counting characters: a multi-byte character always fails a test.
  if (token.size() != 2 && token.size() != 3) return std::optional<Combo>();
  const unsigned first = rank_value_of(token[0]);
  const unsigned second = rank_value_of(token[1]);
  if (first == 0 || second == 0) return std::optional<Combo>();
  Suitedness suitedness = Suitedness::Any;
  if (token.size() == 3) {
    char c = token[2];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == 's') {
      suitedness = Suitedness::Suited;
    } else if (c == 'o') {
      suitedness = Suitedness::Offsuit;
    } else {
      return std::optional<Combo>();
    }
    if (first == second) return NotationErrorKind::PairWithSuitedness{};
  }
  return std::optional(Combo{static_cast<std::uint8_t>(std::max(first, second)),
                             static_cast<std::uint8_t>(std::min(first, second)), suitedness});
}

Expected<std::vector<Combo>, NotationErrorKind> walk_between(Combo a, Combo b) {
  if (a.suitedness != b.suitedness || a.gap() != b.gap()) return NotationErrorKind::GapMismatch{};
  if (b.high < a.high) std::swap(a, b);
  std::vector<Combo> classes;
  classes.reserve(b.high - a.high + 1u);
  for (unsigned high = a.high; high <= b.high; ++high)
    classes.push_back(Combo{static_cast<std::uint8_t>(high),
                            static_cast<std::uint8_t>(high - a.gap()), a.suitedness});
  return classes;
}

void expand_combo(Combo combo, std::vector<TwoCardCombo>& out) {
  const unsigned high = combo.high - 2u;
  const unsigned low = combo.low - 2u;
  if (high == low) {
    for (unsigned s1 = 0; s1 < 4; ++s1)
      for (unsigned s2 = s1 + 1; s2 < 4; ++s2) out.push_back({Card::of(high, s1), Card::of(low, s2)});
    return;
  }
  if (combo.suitedness == Suitedness::Suited) {
    for (unsigned s = 0; s < 4; ++s) out.push_back({Card::of(high, s), Card::of(low, s)});
    return;
  }
  const bool offsuit = combo.suitedness == Suitedness::Offsuit;
  for (unsigned s1 = 0; s1 < 4; ++s1)
    for (unsigned s2 = 0; s2 < 4; ++s2)
      if (!offsuit || s1 != s2) out.push_back({Card::of(high, s1), Card::of(low, s2)});
}

Expected<std::optional<std::vector<TwoCardCombo>>, NotationErrorKind> parse_range(
    std::string_view piece) {
  using NotRange = std::optional<std::vector<TwoCardCombo>>;
  if (piece.find('%') != std::string_view::npos) return NotationErrorKind::PercentRange{};

  if (const auto dash = piece.find('-'); dash != std::string_view::npos) {
    auto left = parse_combo(piece.substr(0, dash));
    if (!left) return std::move(left).error();
    if (!*left) return NotRange();
    auto right = parse_combo(piece.substr(dash + 1));
    if (!right) return std::move(right).error();
    if (!*right) return NotRange();
    auto classes = walk_between(**left, **right);
    if (!classes) return std::move(classes).error();
    return expand_all(*classes);
  }

  if (!piece.empty() && piece.back() == '+') {
    auto base = parse_combo(piece.substr(0, piece.size() - 1));
    if (!base) return std::move(base).error();
    if (!*base) return NotRange();
    const Combo c = **base;
    std::vector<Combo> classes;
    if (c.high == c.low) {
      for (unsigned r = c.high; r <= 14; ++r)
        classes.push_back(Combo{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(r),
                                Suitedness::Any});
    } else {
      for (unsigned low = c.low; low < c.high; ++low)
        classes.push_back(Combo{c.high, static_cast<std::uint8_t>(low), c.suitedness});
    }
    return expand_all(classes);
  }

  auto single = parse_combo(piece);
  if (!single) return std::move(single).error();
  if (!*single) return NotRange();
  return expand_all({**single});
}

}  // namespace vantor
