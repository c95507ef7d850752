#include "notation/parser.h"

#include <iterator>
#include <utility>

#include "cards/text.h"     // decode_utf8, is_white_space
#include "notation/range.h"

namespace vantor {
namespace {

using Kind = NotationErrorKind;

bool contains_any(std::string_view text, std::string_view chars) {
  return text.find_first_of(chars) != std::string_view::npos;
}

NotationError whole(Kind kind, const Trimmed& piece) {
  return NotationError{std::move(kind), piece.offset, piece.text.size()};
}

}  // namespace

Trimmed trimmed(std::string_view text, std::size_t base) {
  // One forward pass: multi-byte characters cannot be decoded backwards
  // without re-synchronising, so remember where the last non-blank one ended.
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = decode_utf8(text, i);
    if (!is_white_space(c.value)) {
      if (begin == text.size()) begin = i;
      end = i + c.length;
    }
    i += c.length;
  }
  if (begin == text.size()) return {text.substr(text.size()), base + text.size()};
  return {text.substr(begin, end - begin), base + begin};
}

NotationResult<std::vector<CardSet>> parse_slots(std::string_view text, std::size_t base) {
  std::vector<CardSet> slots;
  CardSet named;  // cards written as rank and suit so far, for the duplicate test
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = decode_utf8(text, i);
    if (is_white_space(c.value)) {
      i += c.length;
      continue;
    }
    if (c.value == '*') {
      slots.push_back(CardSet::full_deck());
      i += 1;
      continue;
    }
    if (const int rank = rank_of_char(c.value); rank >= 0) {
      const int suit = i + 1 < text.size() ? suit_of_char(decode_utf8(text, i + 1).value) : -1;
      if (suit < 0) {
        slots.push_back(CardSet::rank(static_cast<unsigned>(rank)));
        i += 1;
        continue;
      }
      const Card card = Card::of(static_cast<unsigned>(rank), static_cast<unsigned>(suit));
      if (named.contains(card)) return NotationError{Kind::CardNamedTwice{card.text()}, base + i, 2};
      named.insert(card);
      slots.push_back(CardSet::single(card));
      i += 2;
      continue;
    }
    if (const int suit = suit_of_char(c.value); suit >= 0) {
      slots.push_back(CardSet::suit(static_cast<unsigned>(suit)));
      i += 1;
      continue;
    }
    return NotationError{Kind::UnexpectedChar{c.value}, base + i, c.length};
  }
  return slots;
}

NotationResult<HandSpec> parse_field(std::string_view text, std::size_t slots, bool exact,
                                     const std::function<bool()>& halted) {
  std::vector<Trimmed> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
    pieces.push_back(trimmed(text.substr(start, end - start), start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }

  HandSpec hand;
  constexpr std::size_t STOP_STRIDE = 64;  // pieces between two questions to `halted`
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    if (p % STOP_STRIDE == STOP_STRIDE - 1 && halted && halted()) break;
    const Trimmed& piece = pieces[p];
    if (piece.text.empty()) return NotationError{Kind::NothingToRead{}, piece.offset, 0};
    if (slots == 2) {
      auto range = parse_range(piece.text);
      if (!range) return whole(std::move(range).error(), piece);
      if (*range) {
        HandSpec combos = HandSpec::from_combos(**range);
        std::move(combos.holdings.begin(), combos.holdings.end(), std::back_inserter(hand.holdings));
        continue;
      }
    } else if (contains_any(piece.text, "+%-")) {
      return whole(Kind::RangeNeedsTwoCards{}, piece);
    }
    auto read = parse_slots(piece.text, piece.offset);
    if (!read) return std::move(read).error();
    const std::size_t n = read->size();
    if (exact ? n != slots : (n < 1 || n > slots)) {
      if (contains_any(piece.text, "*")) return whole(Kind::WrongCountWithStar{slots, n}, piece);
      return whole(Kind::WrongCount{slots, n}, piece);
    }
    hand.holdings.push_back(std::move(*read));
  }
  return hand;
}

NotationResult<HandSpec> parse_hand(std::string_view text, std::size_t slots) {
  return parse_field(text, slots, true);
}

NotationResult<HandSpec> parse_hand_up_to(std::string_view text, std::size_t slots) {
  return parse_field(text, slots, false);
}

NotationResult<std::vector<CardSet>> parse_board(std::string_view text, std::size_t max) {
  // A board is one list of cards, never alternatives.
  if (const auto comma = text.find(','); comma != std::string_view::npos)
    return NotationError{Kind::UnexpectedChar{U','}, comma, 1};
  const Trimmed content = trimmed(text, 0);
  if (content.text.empty()) return std::vector<CardSet>();
  auto read = parse_slots(content.text, content.offset);
  if (!read) return std::move(read).error();
  if (read->size() > max) return whole(Kind::TooManyBoardCards{max, read->size()}, content);
  return read;
}

NotationResult<CardSet> parse_dead(std::string_view text) {
  const Trimmed content = trimmed(text, 0);
  CardSet dead;
  const std::string_view rest = content.text;
  for (std::size_t i = 0; i < rest.size();) {
    // Find the word starting at i (the content never starts with whitespace,
    // and every later word starts after a run of it).
    std::size_t end = i;
    while (end < rest.size()) {
      const Utf8Char c = decode_utf8(rest, end);
      if (is_white_space(c.value)) break;
      end += c.length;
    }
    const Trimmed word{rest.substr(i, end - i), content.offset + i};
    auto read = parse_slots(word.text, word.offset);
    if (!read) return std::move(read).error();
    for (CardSet slot : *read) {
      if (!slot.is_single()) return whole(Kind::DeadCardNotSingle{}, word);
      dead |= slot;
    }
    i = end;
    while (i < rest.size()) {
      const Utf8Char c = decode_utf8(rest, i);
      if (!is_white_space(c.value)) break;
      i += c.length;
    }
  }
  return dead;
}

}  // namespace vantor
