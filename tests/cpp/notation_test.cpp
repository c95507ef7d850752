// Hand fields, boards and dead cards: results, error kinds and byte positions.
#include "notation/parser.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "error/error.h"

namespace vantor {
namespace {

using K = NotationErrorKind;

CardSet card(std::string_view name) {
  auto cards = Card::parse_field(name);
  return CardSet::single(cards.value().at(0));
}
const CardSet ANY = CardSet::full_deck();

// Asserts the error's kind, start and length; returns it for further checks.
template <class Kind, class T>
NotationError expect_error(const NotationResult<T>& r, std::size_t start, std::size_t length) {
  EXPECT_FALSE(r.has_value());
  if (r.has_value()) return NotationError{K::NothingToRead{}, 0, 0};
  EXPECT_TRUE(std::holds_alternative<Kind>(r.error().kind.value)) << r.error().text();
  EXPECT_EQ(r.error().start, start) << r.error().text();
  EXPECT_EQ(r.error().length, length) << r.error().text();
  return r.error();
}

TEST(Trimmed, StripsUnicodeWhiteSpace) {
  const Trimmed t = trimmed("\u3000 Ah\u00a0Kd\u2029\t", 10);
  EXPECT_EQ(t.text, "Ah\u00a0Kd");
  EXPECT_EQ(t.offset, 14u);  // 3 bytes of ideographic space, 1 of space
  const Trimmed blank = trimmed(" \u2003 ", 4);
  EXPECT_EQ(blank.text, "");
  EXPECT_EQ(blank.offset, 9u);  // just after the blank piece
  EXPECT_EQ(trimmed("", 7).offset, 7u);
  // U+200B and U+FEFF are not White_Space.
  EXPECT_EQ(trimmed("\u200bAh", 0).text, "\u200bAh");
}

TEST(Slots, ShapesOfSlots) {
  auto r = parse_slots("Ah k h * S", 0);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, (std::vector<CardSet>{card("Ah"), CardSet::rank(11), CardSet::suit(2), ANY,
                                      CardSet::suit(3)}));
  // A rank reads a suit only when the suit follows directly.
  EXPECT_EQ(*parse_slots("AK", 0), (std::vector<CardSet>{CardSet::rank(12), CardSet::rank(11)}));
  EXPECT_EQ(*parse_slots("A*", 0), (std::vector<CardSet>{CardSet::rank(12), ANY}));
  EXPECT_EQ(*parse_slots("tC", 0), (std::vector<CardSet>{card("Tc")}));
  // A card named once as a card and again inside a wider slot is no duplicate.
  EXPECT_TRUE(parse_slots("Ah A h *", 0));
  expect_error<K::CardNamedTwice>(parse_slots("AhKdAH", 3), 7, 2);
  expect_error<K::UnexpectedChar>(parse_slots("Ah\u00e9", 0), 2, 2);
  expect_error<K::UnexpectedChar>(parse_slots("\U0001F0A1", 5), 5, 4);
  expect_error<K::UnexpectedChar>(parse_slots("A\u200b", 0), 1, 3);
}

TEST(HandField, CardsAndRanges) {
  auto ahkh = parse_hand("AhKh", 2);
  ASSERT_TRUE(ahkh);
  ASSERT_EQ(ahkh->holdings.size(), 1u);
  EXPECT_EQ(ahkh->holdings[0], (Holding{CardSet(1ull << 50), CardSet(1ull << 46)}));

  auto ak = parse_hand("AK", 2);
  ASSERT_TRUE(ak);
  EXPECT_EQ(ak->holdings.size(), 16u);
  EXPECT_EQ(ak->holdings[0], (Holding{card("Ac"), card("Kc")}));
  auto ak4 = parse_hand("AK", 4);
  const NotationError wrong = expect_error<K::WrongCount>(ak4, 0, 2);
  EXPECT_EQ(wrong.kind.message(), "this game deals 4 cards, but 2 were written");
  auto ak_up = parse_hand_up_to("AK", 4);
  ASSERT_TRUE(ak_up);
  EXPECT_EQ(ak_up->holdings, (std::vector<Holding>{{CardSet::rank(12), CardSet::rank(11)}}));

  auto hand = parse_hand("QQ, AKs", 2);
  ASSERT_TRUE(hand);
  EXPECT_EQ(hand->holdings.size(), 10u);
  EXPECT_EQ(hand->holdings[6], (Holding{card("Ac"), card("Kc")}));
  auto star = parse_hand("AhK*", 3);
  ASSERT_TRUE(star);
  EXPECT_EQ(star->holdings, (std::vector<Holding>{{card("Ah"), CardSet::rank(11), ANY}}));
  // Holdings stay in text order and are not deduplicated.
  auto twice = parse_hand("AhKh, AhQh, AhKh", 2);
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->holdings.size(), 3u);
  EXPECT_EQ(twice->holdings[0], twice->holdings[2]);
  auto spaced = parse_hand("  AhKh , QsQd", 2);
  ASSERT_TRUE(spaced);
  EXPECT_EQ(spaced->holdings.size(), 2u);
  EXPECT_EQ(spaced->holdings[1], (Holding{card("Qs"), card("Qd")}));
}

TEST(HandField, CountErrors) {
  const NotationError a_star = expect_error<K::WrongCountWithStar>(parse_hand("A*", 1), 0, 2);
  EXPECT_EQ(a_star.kind.message(),
            "this game deals 1 card, but 2 were written: '*' is always exactly one card and never "
            "binds to the rank before it, so 'A*' is two cards, not one");
  expect_error<K::WrongCount>(parse_hand_up_to("AhKhQhJh", 3), 0, 8);
  auto ah = parse_hand_up_to("Ah", 3);
  ASSERT_TRUE(ah);
  EXPECT_EQ(ah->holdings, (std::vector<Holding>{{card("Ah")}}));
  // The count error covers the trimmed piece, counted from the whole field.
  expect_error<K::WrongCount>(parse_hand("AhKhQh, \u00a0 Jh ", 3), 11, 2);
  expect_error<K::WrongCountWithStar>(parse_hand_up_to("Ah, * * * *", 3), 4, 7);
  expect_error<K::WrongCount>(parse_hand("Ah", 0), 0, 2);
  expect_error<K::WrongCount>(parse_hand_up_to("Ah", 0), 0, 2);
}

TEST(HandField, EmptyPieces) {
  expect_error<K::NothingToRead>(parse_hand("AhKh,", 2), 5, 0);
  expect_error<K::NothingToRead>(parse_hand("", 2), 0, 0);
  expect_error<K::NothingToRead>(parse_hand("   ", 2), 3, 0);
  expect_error<K::NothingToRead>(parse_hand(",AhKh", 2), 0, 0);
  expect_error<K::NothingToRead>(parse_hand("AhKh, \u3000 ,QsQd", 2), 10, 0);
  expect_error<K::NothingToRead>(parse_hand_up_to("Ah,,Kd", 4), 3, 0);
}

TEST(HandField, DuplicatesAndStrangeCharacters) {
  const NotationError twice = expect_error<K::CardNamedTwice>(parse_hand("AhAh", 2), 2, 2);
  EXPECT_EQ(twice.text(), "Ah is named twice in one hand (at byte 2)");
  expect_error<K::CardNamedTwice>(parse_hand("Ah ah", 2), 3, 2);
  EXPECT_TRUE(parse_hand("AhKh, AhQh", 2));

  const NotationError x = expect_error<K::UnexpectedChar>(parse_hand("AhXd", 2), 2, 1);
  EXPECT_EQ(x.kind.message(), "'X' is not a rank, a suit, or '*'");
  const NotationError e = expect_error<K::UnexpectedChar>(parse_hand("Ah\u00e9d", 2), 2, 2);
  EXPECT_EQ(e.kind.message(), "'\u00e9' is not a rank, a suit, or '*'");
  // Offsets after multi-byte characters count bytes.
  expect_error<K::UnexpectedChar>(parse_hand("\u00a0AhKh,\u3000QsQx", 2), 13, 1);
  expect_error<K::CardNamedTwice>(parse_hand("AhKh, \u2003QsQS", 2), 11, 2);
  expect_error<K::UnexpectedChar>(parse_hand("AhKh, QsQd, Jc\u00e9", 2), 14, 2);
}

TEST(HandField, RangeCharactersOutsideTwoCardGames) {
  expect_error<K::RangeNeedsTwoCards>(parse_hand("QQ+", 4), 0, 3);
  expect_error<K::RangeNeedsTwoCards>(parse_hand_up_to("AhKh, 10%", 3), 6, 3);
  expect_error<K::RangeNeedsTwoCards>(parse_hand("Ah-Kh", 1), 0, 5);
  // With two slots, text that is no range falls through to slot reading.
  const NotationError dash = expect_error<K::UnexpectedChar>(parse_hand("Ah-Kh", 2), 2, 1);
  EXPECT_EQ(dash.kind.message(), "'-' is not a rank, a suit, or '*'");
  expect_error<K::UnexpectedChar>(parse_hand("AKx", 2), 2, 1);
  expect_error<K::UnexpectedChar>(parse_hand("QQ+-KK", 2), 2, 1);
  expect_error<K::UnexpectedChar>(parse_hand("AK - QJ", 2), 3, 1);
  // Range errors cover the whole trimmed piece.
  expect_error<K::PairWithSuitedness>(parse_hand("AhKh,  QQs ", 2), 7, 3);
  expect_error<K::GapMismatch>(parse_hand("A2s-A5s", 2), 0, 7);
  expect_error<K::PercentRange>(parse_hand_up_to("\u00a020%", 2), 2, 3);
  // Ranges are read whether or not the field is exact.
  auto up_to = parse_hand_up_to("TT+", 2);
  ASSERT_TRUE(up_to);
  EXPECT_EQ(up_to->holdings.size(), 30u);
}

TEST(HandField, FirstErrorWins) {
  // The empty piece comes first in text order, though the duplicate is earlier in the text.
  expect_error<K::CardNamedTwice>(parse_hand("AhAh,", 2), 2, 2);
  expect_error<K::NothingToRead>(parse_hand(",AhAh", 2), 0, 0);
}

TEST(Board, Reading) {
  auto board = parse_board("Jc 7d *", 5);
  ASSERT_TRUE(board);
  EXPECT_EQ(*board, (std::vector<CardSet>{card("Jc"), card("7d"), ANY}));
  const NotationError comma = expect_error<K::UnexpectedChar>(parse_board("Jc,7d", 5), 2, 1);
  EXPECT_EQ(comma.kind.message(), "',' is not a rank, a suit, or '*'");
  expect_error<K::UnexpectedChar>(parse_board("Jx,7d", 5), 2, 1);  // the comma is found first
  const NotationError many =
      expect_error<K::TooManyBoardCards>(parse_board("2c3c4c5c6c7c", 5), 0, 12);
  EXPECT_EQ(many.kind.message(), "at most 5 cards fit here, but 6 were written");
  expect_error<K::TooManyBoardCards>(parse_board(" \u00a0Ah Kh Qh Jh\t", 3), 3, 11);
  auto blank = parse_board("  ", 5);
  ASSERT_TRUE(blank);
  EXPECT_TRUE(blank->empty());
  EXPECT_TRUE(parse_board("", 0)->empty());
  EXPECT_EQ(*parse_board("A h", 5), (std::vector<CardSet>{CardSet::rank(12), CardSet::suit(2)}));
  expect_error<K::CardNamedTwice>(parse_board("  Ah Kh ah", 5), 8, 2);
  expect_error<K::UnexpectedChar>(parse_board("AhKh+", 5), 4, 1);
}

TEST(Dead, Reading) {
  const CardSet two = card("2c") | card("2d");
  EXPECT_EQ(*parse_dead("2c 2d"), two);
  EXPECT_EQ(*parse_dead("2c2d"), two);
  EXPECT_EQ(*parse_dead("\u20052C\u3000 2D\n"), two);
  EXPECT_EQ(*parse_dead("Ah Ah"), card("Ah"));
  EXPECT_EQ(*parse_dead(""), CardSet());
  EXPECT_EQ(*parse_dead(" \t "), CardSet());
  const NotationError star = expect_error<K::DeadCardNotSingle>(parse_dead("2c *"), 3, 1);
  EXPECT_EQ(star.kind.message(),
            "a dead card must name one card, since every reading changes the answer");
  expect_error<K::DeadCardNotSingle>(parse_dead("2c \u3000 KdA 3s"), 7, 3);
  expect_error<K::DeadCardNotSingle>(parse_dead("2c h"), 3, 1);
  expect_error<K::UnexpectedChar>(parse_dead("Kx"), 1, 1);
  expect_error<K::UnexpectedChar>(parse_dead("Ah,Kd"), 2, 1);
  expect_error<K::CardNamedTwice>(parse_dead("Kd AhAh"), 5, 2);
  // Reading errors come before the single-card test within a word.
  expect_error<K::UnexpectedChar>(parse_dead("Kd AKx"), 5, 1);
  expect_error<K::DeadCardNotSingle>(parse_dead("A Kx"), 0, 1);
}

TEST(Errors, UnderlineAfterMultiByteCharacters) {
  const std::string text = "\u00e9 AhAh";
  auto r = parse_dead(text);
  const NotationError e = expect_error<K::UnexpectedChar>(r, 0, 2);
  EXPECT_EQ(e.underline(text), text + "\n^^\n'\u00e9' is not a rank, a suit, or '*'");
  const std::string field = "\u00a0AhAh";  // the caret line is one byte wider than shown
  const NotationError twice = expect_error<K::CardNamedTwice>(parse_hand(field, 2), 4, 2);
  EXPECT_EQ(twice.underline(field), field + "\n    ^^\nAh is named twice in one hand");
  // Inside the system's errors the one-line form travels unchanged.
  EXPECT_EQ(PokerError(twice).text(), "Ah is named twice in one hand (at byte 4)");
}

TEST(HandField, LongFieldsStayLinear) {
  // Quadratic work here (re-scanning the field per piece) would take minutes.
  std::string field;
  while (field.size() < 400'000) field += "AhKh, QsQd , 2c*, ";
  field += "AK";
  auto hand = parse_hand(field, 2);
  ASSERT_TRUE(hand);
  EXPECT_EQ(hand->holdings.size(), (field.size() - 2) / 18 * 3 + 16);
  std::string slots(200'000, 'A');
  slots += "h";
  auto many = parse_hand_up_to(slots, 1'000'000);
  ASSERT_TRUE(many);
  EXPECT_EQ(many->holdings[0].size(), 200'000u);
}

}  // namespace
}  // namespace vantor
