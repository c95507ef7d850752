#include "cards/card.h"

#include <gtest/gtest.h>

#include "error/error.h"

namespace vantor {
namespace {

std::vector<unsigned> indices(std::string_view text) {
  auto cards = Card::parse_field(text);
  EXPECT_TRUE(cards.has_value()) << text;
  std::vector<unsigned> out;
  if (cards)
    for (Card c : *cards) out.push_back(c.index());
  return out;
}

std::string failure(std::string_view text) {
  auto cards = Card::parse_field(text);
  EXPECT_FALSE(cards.has_value()) << text;
  return cards ? std::string() : cards.error().text();
}

TEST(Card, IndexLayoutAndText) {
  EXPECT_EQ(Card(0).text(), "2c");
  EXPECT_EQ(Card(34).text(), "Th");
  EXPECT_EQ(Card(51).text(), "As");
  EXPECT_EQ(Card(51).rank_value(), 14u);
  EXPECT_EQ(Card(0).rank_value(), 2u);
  EXPECT_EQ(Card(34).suit(), 2u);
  for (unsigned i = 0; i < 52; ++i) EXPECT_EQ(indices(Card(i).text()), std::vector<unsigned>{i});
}

TEST(Card, ParseIsCaseBlindAndDropsEveryWhiteSpace) {
  EXPECT_EQ(indices("As"), std::vector<unsigned>{51});
  EXPECT_EQ(indices("aS"), std::vector<unsigned>{51});
  EXPECT_EQ(indices("AS"), std::vector<unsigned>{51});
  EXPECT_EQ(indices("2c"), std::vector<unsigned>{0});
  EXPECT_EQ(indices("Ah Kd"), indices("AhKd"));
  EXPECT_EQ(indices("A h K d"), indices("AhKd"));
  // U+00A0, U+2003, U+3000 and U+0085 are White_Space; U+200B is not.
  EXPECT_EQ(indices("A\u00a0h\u2003K\u3000d\u0085"), indices("AhKd"));
  EXPECT_EQ(failure("A\u200bh"), "Uneven number of chars");
  EXPECT_EQ(indices("AhAh"), (std::vector<unsigned>{50, 50}));
  EXPECT_TRUE(indices("").empty());
  EXPECT_TRUE(indices(" \t\n").empty());
}

TEST(Card, ParseFailures) {
  EXPECT_EQ(failure("10h"), "Uneven number of chars");
  EXPECT_EQ(failure("Ah K"), "Uneven number of chars");
  EXPECT_EQ(failure("1h0s"), "Invalid rank character: 1");
  EXPECT_EQ(failure("Xh"), "Invalid rank character: X");
  EXPECT_EQ(failure("Ax"), "Invalid suit character: x");
  EXPECT_EQ(failure("hA"), "Invalid rank character: h");
  EXPECT_EQ(failure("\u00e9h"), "Invalid rank character: \u00e9");
  EXPECT_EQ(failure("AhK\u00e9"), "Invalid suit character: \u00e9");
}

TEST(CardSet, MasksAndOperations) {
  EXPECT_EQ(CardSet::full_deck().mask(), 4503599627370495ull);
  EXPECT_EQ(CardSet::rank(12).mask(), 0xF000000000000ull);
  EXPECT_EQ(CardSet::suit(3).mask(), 0x8888888888888ull);
  EXPECT_EQ(CardSet::suit(0).count(), 13u);
  CardSet s;
  s.insert(Card(5));
  s.insert(Card(40));
  EXPECT_TRUE(s.contains(Card(40)));
  EXPECT_FALSE(s.contains(Card(41)));
  EXPECT_EQ(s.count(), 2u);
  EXPECT_EQ(s.lowest().index(), 5u);
  EXPECT_FALSE(s.is_single());
  EXPECT_FALSE(CardSet().is_single());
  EXPECT_TRUE(CardSet::single(Card(7)).is_single());
  EXPECT_EQ((s - CardSet::single(Card(5))).mask(), 1ull << 40);
  EXPECT_EQ((s & CardSet::rank(10)).mask(), 1ull << 40);
}

TEST(CardSet, IterationIsAscendingAndIgnoresHighBits) {
  std::vector<unsigned> all;
  for (Card c : CardSet::full_deck()) all.push_back(c.index());
  ASSERT_EQ(all.size(), 52u);
  for (unsigned i = 0; i < 52; ++i) EXPECT_EQ(all[i], i);
  std::vector<unsigned> stray;
  for (Card c : CardSet((1ull << 3) | (1ull << 52) | (1ull << 60))) stray.push_back(c.index());
  EXPECT_EQ(stray, std::vector<unsigned>{3});
}

TEST(Errors, DisplayTexts) {
  EXPECT_EQ(PokerError(EquityError::UnseenBoard{1, 0}).text(),
            "this game turns 1 board card face up before the betting, so a board of 0 is not a "
            "spot that occurs; write `*` for a card that has been dealt and not yet seen");
  EXPECT_EQ(EquityError(EquityError::UnseenBoard{2, 0}).text().substr(0, 33),
            "this game turns 2 board cards fac");
  EXPECT_EQ(PokerError(EquityError::TooManySeats{24, 23}).text(),
            "24 players is more than this game can deal; the deck seats 23");
  EXPECT_EQ(PokerError(CardError::InvalidSuit{'x'}).text(), "Invalid suit character: x");
  EXPECT_EQ(PokerError(GameError::DuplicateCard{Card(51)}).text(), "Found duplicated card: As");
  EXPECT_EQ(PokerError(GameError::NotInDeck{Card(14)}).text(), "5h is not in this game's deck");
  EXPECT_EQ(PokerError(CardError::TooManyCards{8}).text(), "Too many cards in Vec: 8");
  EXPECT_EQ(PokerError(EquityError::Infeasible{"a hand"}).text(), "No deal can satisfy a hand");
  EXPECT_EQ(PokerError(EquityError::SamplingStalled{10000, 3}).text().substr(0, 50),
            "gave up after 10000 draws, of which only 3 could b");
  EXPECT_EQ(PokerError(EquityError::NotEnoughCards{3}).text(), "Not enough cards in hand: 3");
  EXPECT_EQ(PokerError(EquityError::BoardSize{6}).text(), "Invalid number of community cards: 6");
  EXPECT_EQ(PokerError(EquityError::MixedHandSizes{}).text(), "Starting hands with different sizes");
}

TEST(Errors, NotationErrorsTravelInsideEquityErrors) {
  NotationError e{NotationErrorKind::CardNamedTwice{"Ah"}, 2, 2};
  EXPECT_EQ(e.text(), "Ah is named twice in one hand (at byte 2)");
  EXPECT_EQ(PokerError(e).text(), e.text());
  EXPECT_EQ(e.underline("AhAh"), "AhAh\n  ^^\nAh is named twice in one hand");
  NotationError empty{NotationErrorKind::NothingToRead{}, 5, 0};
  EXPECT_EQ(empty.underline("AhKh,"), "AhKh,\n     ^\nnothing to read here");
  EXPECT_EQ(NotationErrorKind(NotationErrorKind::WrongCount{1, 2}).message(),
            "this game deals 1 card, but 2 were written");
  EXPECT_EQ(NotationErrorKind(NotationErrorKind::WrongCount{2, 1}).message(),
            "this game deals 2 cards, but 1 was written");
  EXPECT_EQ(NotationErrorKind(NotationErrorKind::TooManyBoardCards{5, 6}).message(),
            "at most 5 cards fit here, but 6 were written");
  EXPECT_EQ(NotationErrorKind(NotationErrorKind::UnexpectedChar{','}).message(),
            "',' is not a rank, a suit, or '*'");
}

TEST(Expected, PropagatesErrorsUnchanged) {
  auto inner = []() -> Result<int> { return EquityError::TooFewSeats{}; };
  auto outer = [&]() -> Result<std::string> {
    auto r = inner();
    if (!r) return std::move(r).error();
    return std::string("unreachable");
  };
  auto r = outer();
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().text(), "a spot needs at least two seats to have an answer");
  Result<int> ok = 3;
  EXPECT_EQ(*ok, 3);
}

}  // namespace
}  // namespace vantor
