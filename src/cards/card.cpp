#include "cards/card.h"

#include "cards/text.h"   // decode_utf8, is_white_space
#include "error/card_error.h"

namespace vantor {

Expected<std::vector<Card>, CardError> Card::parse_field(std::string_view text) {
  std::vector<char32_t> chars;
  chars.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = decode_utf8(text, i);
    i += c.length;
    if (!is_white_space(c.value)) chars.push_back(c.value);
  }
  if (chars.size() % 2 != 0) return CardError::Malformed{"Uneven number of chars"};

  std::vector<Card> cards;
  cards.reserve(chars.size() / 2);
  for (std::size_t i = 0; i < chars.size(); i += 2) {
    const int rank = rank_of_char(chars[i]);
    if (rank < 0) return CardError::InvalidRank{chars[i]};
    const int suit = suit_of_char(chars[i + 1]);
    if (suit < 0) return CardError::InvalidSuit{chars[i + 1]};
    cards.push_back(Card::of(static_cast<unsigned>(rank), static_cast<unsigned>(suit)));
  }
  return cards;
}

}  // namespace vantor
