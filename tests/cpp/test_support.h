// Helpers shared by the C++ tests: cards and requests from text, whole-result
// comparison, and a slow, obviously correct listing of the card sets that
// fill a holding.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "notation/hand_spec.h"
#include "odds/request.h"
#include "odds/result.h"
#include "sampler/matching.h"

namespace vantor::test_support {

inline Card card(const char* text) { return Card::parse_field(text).value().at(0); }
inline CardSet one(const char* text) { return CardSet::single(card(text)); }

// The cards written in `text` ("AhKd"), in order.
inline std::vector<Card> cards(std::string_view text) {
  auto parsed = Card::parse_field(text);
  EXPECT_TRUE(parsed.has_value()) << text;
  return parsed ? *parsed : std::vector<Card>{};
}
inline CardSet cards_of(std::string_view text) {
  CardSet out;
  for (Card c : cards(text)) out.insert(c);
  return out;
}
// One holding of named cards, in the order written.
inline Holding named(std::string_view text) {
  Holding out;
  for (Card c : cards(text)) out.push_back(CardSet::single(c));
  return out;
}

// A request the test expects to be accepted.
template <class V>
EquityRequest<V> request_of(std::vector<std::string_view> hands, std::string_view board = "",
                            std::string_view dead = "") {
  auto r = EquityRequest<V>::from_text(hands, board, dead);
  if (!r) ADD_FAILURE() << r.error().text();
  return std::move(r).value();
}
template <class V>
EquityRequest<V> request_of_masks(std::vector<HandSpec> seats, std::vector<CardSet> board = {},
                                  CardSet dead = {}) {
  auto r = EquityRequest<V>::from_masks(seats, board, dead);
  if (!r) ADD_FAILURE() << r.error().text();
  return std::move(r).value();
}

// Every field of two results, bit for bit.
inline void expect_identical(const ChunkResult& a, const ChunkResult& b) {
  EXPECT_EQ(a.samples, b.samples);
  EXPECT_EQ(a.attempts, b.attempts);
  EXPECT_EQ(a.weight_sum, b.weight_sum);
  EXPECT_EQ(a.weight_square_sum, b.weight_square_sum);
  EXPECT_EQ(a.exact, b.exact);
  for (const PerSeatSum& sum : PER_SEAT_SUMS) EXPECT_EQ(a.*sum.values, b.*sum.values) << sum.key;
}

inline std::uint64_t mask_of(std::span<const Card> cards) {
  std::uint64_t m = 0;
  for (Card c : cards) m |= std::uint64_t{1} << c.index();
  return m;
}

inline void collect(const std::vector<CardSet>& slots, const std::vector<Card>& cards,
                    std::size_t from, std::vector<Card>& pick, std::set<std::uint64_t>& out) {
  if (pick.size() == slots.size()) {
    if (has_perfect_matching(slots, pick)) out.insert(mask_of(pick));
    return;
  }
  for (std::size_t i = from; i < cards.size(); ++i) {
    pick.push_back(cards[i]);
    collect(slots, cards, i + 1, pick, out);
    pick.pop_back();
  }
}

// Every card set of `universe` that fills the slots, by trying every subset.
inline std::set<std::uint64_t> brute_force_sets(const std::vector<CardSet>& slots,
                                                CardSet universe) {
  CardSet used;
  for (CardSet s : slots) used |= s;
  std::set<std::uint64_t> out;
  std::vector<Card> pick;
  collect(slots, (universe & used).to_vector(), 0, pick, out);
  return out;
}

}  // namespace vantor::test_support
