// Building an equity request: every check with its exact message, the order
// in which the checks fire, padding, the fixed cards, the dealing order,
// shape plans and the Razz pinning.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "notation/parser.h"
#include "odds/request.h"
#include "odds/threads.h"
#include "test_support.h"

namespace vantor {
namespace {

using namespace vantor::test_support;

constexpr CardSet FULL = CardSet::full_deck();

HandSpec seat(std::string_view text) { return HandSpec{{named(text)}}; }
HandSpec open_seat(std::size_t slots) { return HandSpec{{Holding(slots, FULL)}}; }

template <class V>
std::string masks_error(std::vector<HandSpec> seats, std::vector<CardSet> board = {},
                        CardSet dead = {}) {
  auto r = EquityRequest<V>::from_masks(seats, board, dead);
  return r ? std::string("(accepted)") : r.error().text();
}

template <class V>
std::string text_error(std::vector<std::string_view> hands, std::string_view board = "",
                       std::string_view dead = "") {
  auto r = EquityRequest<V>::from_text(hands, board, dead);
  return r ? std::string("(accepted)") : r.error().text();
}

const std::string UNSEEN =
    "this game turns 1 board card face up before the betting, so a board of 0 is not a spot "
    "that occurs; write `*` for a card that has been dealt and not yet seen";
const std::string JOINT = "No deal can satisfy the hands, board and dead cards together";

TEST(Request, TwoNamedHoldemSeats) {
  const auto r = request_of<Holdem>({"AhKh", "QsQd"});
  EXPECT_EQ(r.seat_count, 2u);
  EXPECT_EQ(r.board_slots, 5u);
  EXPECT_EQ(r.board.holdings, std::vector<Holding>{Holding(5, FULL)});
  EXPECT_EQ(r.seats[0].fixed, cards_of("AhKh"));
  EXPECT_EQ(r.seats[1].fixed, cards_of("QsQd"));
  EXPECT_EQ(r.board.fixed, CardSet());
  EXPECT_EQ(r.fixed_all, cards_of("AhKh QsQd"));
  EXPECT_EQ(r.live, FULL);
  EXPECT_EQ(r.order, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(r.threads, default_threads());
  // One card set per seat; the board's plan counts the 48 cards left to it.
  EXPECT_EQ(r.seats[0].log_weights, std::vector<double>{0.0});
  EXPECT_EQ(r.seats[1].log_weights, std::vector<double>{0.0});
  EXPECT_DOUBLE_EQ(r.board.log_weights[0], std::log(1712304.0));
  ASSERT_TRUE(r.board.plans[0].has_value());
  EXPECT_EQ(r.seats[0].samplers.size(), 1u);
  EXPECT_FALSE(r.weighted);
}

TEST(Request, DealingOrderPutsTheMostConstrainedFirst) {
  // Seat 0: an ace and any card (4 + 52); seat 1 named (2); board 5 x 52
  // minus nothing: keys count live cards, dead ones excluded.
  const auto r = request_of<Holdem>({"A*", "AhKh"}, "", "2c 2d");
  EXPECT_EQ(r.order, (std::vector<std::size_t>{1, 0, 2}));
  EXPECT_EQ(r.live, FULL - cards_of("2c 2d"));
  // A range seat's key is its tightest holding; equal keys keep index order.
  const auto ranges = request_of<Holdem>({"QQ+, AKs", "JhTh", "22"}, "Ah Kd Qc Jd Tc");
  EXPECT_EQ(ranges.order, (std::vector<std::size_t>{0, 1, 2, 3}));
  // Without board slots the board's key is 0 and it comes first.
  const auto stud = request_of<Stud>({"AhKhQh", "2c2d2h"});
  EXPECT_EQ(stud.board_slots, 0u);
  EXPECT_EQ(stud.order.front(), 2u);
  EXPECT_TRUE(stud.board.holdings[0].empty());
  EXPECT_FALSE(stud.board.plans[0].has_value());
  EXPECT_EQ(stud.board.log_weights[0], 0.0);
}

TEST(Request, PlansLeaveOutCardsOtherEntriesHold) {
  // Seat 0 "any ace, any card" is planned without Ah (held by seat 1) and
  // without the board's Kd: 3 aces, then any of the 48 other cards.
  const auto r = request_of<Holdem>({"A*", "AhQh"}, "Kd");
  ASSERT_TRUE(r.seats[0].plans[0].has_value());
  const u128 total = r.seats[0].plans[0]->total();
  EXPECT_EQ(static_cast<unsigned>(total), 3u * 48u - 3u);  // pairs of aces counted once
  EXPECT_DOUBLE_EQ(r.seats[0].log_weights[0], std::log(141.0));
}

TEST(Request, SeatLimits) {
  EXPECT_EQ(masks_error<Holdem>(std::vector<HandSpec>(24, open_seat(2))),
            "24 players is more than this game can deal; the deck seats 23");
  EXPECT_EQ(masks_error<Holdem>(std::vector<HandSpec>(23, open_seat(2))), "(accepted)");
  EXPECT_EQ(masks_error<ShortDeck>(std::vector<HandSpec>(16, open_seat(2))),
            "16 players is more than this game can deal; the deck seats 15");
  EXPECT_EQ(masks_error<Omaha>(std::vector<HandSpec>(12, open_seat(4))),
            "12 players is more than this game can deal; the deck seats 11");
  EXPECT_EQ(masks_error<Courchevel>(std::vector<HandSpec>(10, open_seat(5)), {FULL}),
            "10 players is more than this game can deal; the deck seats 9");
  EXPECT_EQ(masks_error<OmahaSix>(std::vector<HandSpec>(8, open_seat(6))),
            "8 players is more than this game can deal; the deck seats 7");
  EXPECT_EQ(masks_error<DeuceSeven>(std::vector<HandSpec>(11, open_seat(5))),
            "11 players is more than this game can deal; the deck seats 10");
  EXPECT_EQ(masks_error<Badugi>(std::vector<HandSpec>(14, open_seat(4))),
            "14 players is more than this game can deal; the deck seats 13");
  EXPECT_EQ(masks_error<Stud>(std::vector<HandSpec>(9, open_seat(3))),
            "9 players is more than this game can deal; the deck seats 8");
  EXPECT_EQ(masks_error<Holdem>({open_seat(2)}),
            "a spot needs at least two seats to have an answer");
  EXPECT_EQ(masks_error<Holdem>({}), "a spot needs at least two seats to have an answer");

  // Eight stud seats get six hole slots each and share one board card.
  const auto eight = request_of_masks<Razz>(std::vector<HandSpec>(8, open_seat(3)));
  EXPECT_EQ(eight.board_slots, 1u);
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(eight.seats[i].holdings[0].size(), 6u);
  const auto seven = request_of_masks<Stud>(std::vector<HandSpec>(7, open_seat(3)));
  EXPECT_EQ(seven.board_slots, 0u);
  EXPECT_EQ(seven.seats[0].holdings[0].size(), 7u);
}

TEST(Request, HoldingLengths) {
  EXPECT_EQ(masks_error<Holdem>({seat("AhKhQh"), seat("2c3c")}), "Not enough cards in hand: 3");
  EXPECT_EQ(masks_error<Holdem>({seat("Ah"), seat("2c3c")}), "Not enough cards in hand: 1");
  EXPECT_EQ(masks_error<Omaha>({seat("AhKh"), seat("2c3c4c5c")}), "Not enough cards in hand: 2");
  EXPECT_EQ(masks_error<Stud>({seat("AhKh"), seat("2c3c")}), "Not enough cards in hand: 2");
  EXPECT_EQ(masks_error<Stud>({seat("AhKhQh"), seat("2c3c4c5c")}),
            "Starting hands with different sizes");
  EXPECT_EQ(masks_error<Stud>(std::vector<HandSpec>(8, open_seat(7))),
            "Not enough cards in hand: 7");
  EXPECT_EQ(masks_error<DeuceSeven>({seat("AhKhQhJhTh9h"), seat("2c")}),
            "Not enough cards in hand: 6");
  EXPECT_EQ(masks_error<Holdem>({HandSpec{}, seat("2c3c")}), "Starting hands with different sizes");
  EXPECT_EQ(masks_error<Holdem>({HandSpec{{named("AhKh"), named("Qd")}}, seat("2c3c")}),
            "Starting hands with different sizes");

  // Short holdings are padded with open slots at their end.
  const auto draw = request_of<DeuceSeven>({"Kh", "2c3d4h5s7c"});
  EXPECT_EQ(draw.seats[0].holdings[0], (Holding{cards_of("Kh"), FULL, FULL, FULL, FULL}));
  const auto badugi = request_of_masks<Badugi>({HandSpec{{Holding{}}}, seat("Ah")});
  EXPECT_EQ(badugi.seats[0].holdings[0], Holding(4, FULL));
}

TEST(Request, UnfillableHands) {
  EXPECT_EQ(masks_error<Holdem>({HandSpec{{Holding{cards_of("Ah"), CardSet()}}}, seat("2c3c")}),
            "No deal can satisfy a hand");
  // One good alternative is enough; the bad one stays in place.
  const auto r = request_of_masks<Holdem>(
      {HandSpec{{Holding{cards_of("Ah"), CardSet()}, named("AdKd")}}, seat("2c3c")});
  EXPECT_EQ(r.seats[0].holdings.size(), 2u);
}

TEST(Request, Boards) {
  EXPECT_EQ(masks_error<Holdem>({seat("AhKh"), seat("2c3c")}, std::vector<CardSet>(6, FULL)),
            "Invalid number of community cards: 6");
  EXPECT_EQ(masks_error<FiveCardDraw>({seat("AhKh"), seat("2c3c")}, {FULL}),
            "Invalid number of community cards: 1");
  EXPECT_EQ(masks_error<Stud>({seat("AhKhQh"), seat("2c3c4c")}, {FULL}),
            "Invalid number of community cards: 1");
  EXPECT_EQ(masks_error<Courchevel>({seat("AhKhQhJhTh"), seat("2c3c4c5c6c")}), UNSEEN);
  EXPECT_EQ(masks_error<CourchevelHiLo>({seat("AhKhQhJhTh"), seat("2c3c4c5c6c")}), UNSEEN);
  const auto unseen_first = request_of<Courchevel>({"AhKhQhJhTh", "2c3c4c5c6c"}, "*");
  EXPECT_EQ(unseen_first.board_slots, 5u);
  const auto partial = request_of<Holdem>({"AhKh", "2c3c"}, "Jc 7d *");
  EXPECT_EQ(partial.board.holdings[0],
            (Holding{cards_of("Jc"), cards_of("7d"), FULL, FULL, FULL}));
  EXPECT_EQ(partial.board.fixed, cards_of("Jc 7d"));
}

TEST(Request, DuplicateAndForeignCards) {
  EXPECT_EQ(masks_error<Holdem>({seat("AhKd"), seat("AhQs")}), "Found duplicated card: Ah");
  EXPECT_EQ(masks_error<Holdem>({seat("AhAd"), seat("AhAd")}), "Found duplicated card: Ad");
  EXPECT_EQ(masks_error<Holdem>({seat("AhKd"), seat("QsQd")}, {cards_of("Ah")}),
            "Found duplicated card: Ah");
  EXPECT_EQ(masks_error<Holdem>({seat("AhKd"), seat("QsQd")}, {}, cards_of("Ah")),
            "Found duplicated card: Ah");
  EXPECT_EQ(masks_error<ShortDeck>({seat("2cAh"), seat("QsQd")}), "2c is not in this game's deck");
  EXPECT_EQ(masks_error<ShortDeck>({seat("AcAh"), seat("QsQd")}, {}, cards_of("3d 2c")),
            "2c is not in this game's deck");
  // A card held in every alternative counts as held; one that only some
  // alternatives hold does not, and then the joint test decides.
  EXPECT_EQ(masks_error<Holdem>({HandSpec{{named("AhKh"), named("AhQh")}}, seat("AhQs")}),
            "Found duplicated card: Ah");
  EXPECT_EQ(text_error<Holdem>({"AhAd", "AhKh, AdKd"}), JOINT);
  EXPECT_EQ(masks_error<Holdem>({HandSpec{{Holding{cards_of("Ah"), cards_of("Ah")}}}, seat("2c3c")}),
            JOINT);
  // Not enough live cards for everyone: the matching says no.
  EXPECT_EQ(masks_error<Holdem>({HandSpec{{Holding{CardSet::rank(12), CardSet::rank(12)}}},
                                 HandSpec{{Holding{CardSet::rank(12), CardSet::rank(12)}}}},
                                {}, cards_of("As")),
            JOINT);
}

TEST(Request, ChecksFireInOrder) {
  // Each spot breaks two checks; the earlier one is reported.
  EXPECT_EQ(masks_error<Holdem>({seat("AhKhQh")}, std::vector<CardSet>(7, FULL)),
            "a spot needs at least two seats to have an answer");
  std::vector<HandSpec> many(24, open_seat(3));
  EXPECT_EQ(masks_error<Holdem>(many), "24 players is more than this game can deal; the deck seats 23");
  // Stud: lengths are compared across seats before each seat's own length.
  EXPECT_EQ(masks_error<Stud>({seat("AhKh"), seat("2c3c4c")}), "Starting hands with different sizes");
  EXPECT_EQ(masks_error<Stud>({seat("AhKh"), seat("2c3c")}, {FULL, FULL}),
            "Not enough cards in hand: 2");
  // Lengths of every seat before any seat's empty slot.
  EXPECT_EQ(masks_error<Holdem>({HandSpec{{Holding{cards_of("Ah"), CardSet()}}}, seat("2c3c4c")}),
            "Not enough cards in hand: 3");
  EXPECT_EQ(masks_error<Holdem>({seat("AhKhQh"), HandSpec{}}), "Not enough cards in hand: 3");
  EXPECT_EQ(masks_error<Holdem>({HandSpec{}, seat("AhKhQh")}), "Starting hands with different sizes");
  // An unfillable hand before the board's size.
  EXPECT_EQ(masks_error<Holdem>({HandSpec{{Holding{cards_of("Ah"), CardSet()}}}, seat("2c3c")},
                                std::vector<CardSet>(6, FULL)),
            "No deal can satisfy a hand");
  // The board's size before foreign dead cards.
  EXPECT_EQ(masks_error<ShortDeck>({seat("AhKh"), seat("QsQd")}, std::vector<CardSet>(6, FULL),
                                   cards_of("2c")),
            "Invalid number of community cards: 6");
  EXPECT_EQ(masks_error<Courchevel>({seat("AhKhQhJhTh"), seat("AhKhQhJhTh")}), UNSEEN);
  // Foreign dead cards before duplicates in the hands.
  EXPECT_EQ(masks_error<ShortDeck>({seat("AhKh"), seat("AhQd")}, {}, cards_of("3c")),
            "3c is not in this game's deck");
  // Duplicates between entries before dead or foreign held cards, and the
  // walk over entries decides which duplicate is named.
  EXPECT_EQ(masks_error<ShortDeck>({seat("2cKh"), seat("QdQs")}, {cards_of("Qs")}),
            "Found duplicated card: Qs");
  EXPECT_EQ(masks_error<Holdem>({seat("AhKh"), seat("QdQs")}, {cards_of("Kh"), cards_of("Qs")}),
            "Found duplicated card: Qs");
  EXPECT_EQ(masks_error<Holdem>({seat("AhKh"), seat("QdQs")}, {}, cards_of("Ah Qd")),
            "Found duplicated card: Qd");
  EXPECT_EQ(masks_error<ShortDeck>({seat("Ah5d"), seat("QdQs")}, {}, cards_of("Ah")),
            "5d is not in this game's deck");
  // Duplicates before the joint test.
  EXPECT_EQ(masks_error<Holdem>({seat("AhAd"), seat("AhAd")}, {CardSet()}),
            "Found duplicated card: Ad");
}

TEST(Request, TextIsReadWithTheGamesNotation) {
  // The first bad hand field is reported, before the board is read.
  const std::string second_field = parse_hand("AhXd", 2).error().text();
  EXPECT_EQ(text_error<Holdem>({"AhKh", "AhXd", "Qz"}, "Jc,7d"), second_field);
  EXPECT_EQ(text_error<Holdem>({"AhKh", "QsQd"}, "Jc,7d"), parse_board("Jc,7d", 5).error().text());
  EXPECT_EQ(text_error<Holdem>({"AhKh", "QsQd"}, "", "2c *"), parse_dead("2c *").error().text());
  EXPECT_EQ(text_error<Holdem>({"AhKh", "QsQd"}, "2c3c4c5c6c7c"),
            parse_board("2c3c4c5c6c7c", 5).error().text());
  // Hold'em and Omaha want exact counts; stud and draw take fewer.
  EXPECT_EQ(text_error<Omaha>({"AK", "QsQd Js Jd"}), parse_hand("AK", 4).error().text());
  EXPECT_EQ(text_error<Omaha>({"QQ+", "QsQd Js Jd"}), parse_hand("QQ+", 4).error().text());
  const auto open = request_of<Omaha>({"AK**", "QsQdJsJd"});
  EXPECT_EQ(open.seats[0].holdings[0], (Holding{CardSet::rank(12), CardSet::rank(11), FULL, FULL}));
  // Stud reads seven cards up to seven seats, six from eight seats on, and
  // then allows one board card.
  EXPECT_EQ(text_error<Stud>({"AhKhQhJhTh9h8h", "2c3c4c5c6c7c8c"}), "(accepted)");
  std::vector<std::string_view> eight(8, "*");
  eight[0] = "2c3c4c5c6c7c8c";
  EXPECT_EQ(text_error<Stud>(eight), parse_hand_up_to("2c3c4c5c6c7c8c", 6).error().text());
  EXPECT_EQ(text_error<Stud>({"AhKhQh", "2c3c4c"}, "Jd"), parse_board("Jd", 0).error().text());
  std::vector<std::string_view> eight_open(8, "* * *");
  const auto shared = request_of<Stud>(eight_open, "Jd");
  EXPECT_EQ(shared.board.fixed, cards_of("Jd"));
  // Ranges expand into one holding per combo in two-card games.
  EXPECT_EQ(request_of<Holdem>({"QQ+, AKs", "JhTh"}).seats[0].holdings.size(), 22u);
  EXPECT_EQ(text_error<ShortDeck>({"AhKh", "2c2d"}), "2c is not in this game's deck");
}

TEST(Razz, OpenRanksArePinnedToFreeSuits) {
  // Three seats each asking for any five: 5c, 5d, 5h in seat order, skipping
  // a five named elsewhere or dead.
  const CardSet fives = CardSet::rank(3);
  const auto with_five = [&](std::string_view rest) {
    Holding h{fives};
    for (CardSet s : named(rest)) h.push_back(s);
    return HandSpec{{h}};
  };
  const auto r = request_of_masks<Razz>({with_five("Ah2h"), with_five("As2s"), with_five("Ad2d")});
  EXPECT_EQ(r.seats[0].holdings[0][0], cards_of("5c"));
  EXPECT_EQ(r.seats[1].holdings[0][0], cards_of("5d"));
  EXPECT_EQ(r.seats[2].holdings[0][0], cards_of("5h"));
  EXPECT_EQ(r.seats[1].fixed, cards_of("5d As 2s"));

  const auto skip = request_of_masks<Razz>({with_five("Ah2h"), seat("As5d2s"), with_five("Ad2d")}, {},
                                     cards_of("5c"));
  EXPECT_EQ(skip.seats[0].holdings[0][0], cards_of("5h"));
  EXPECT_EQ(skip.seats[2].holdings[0][0], cards_of("5s"));

  // Five seats wanting a five: the fives run out and nothing is pinned (with
  // only suit-blind slots that also means no deal exists at all).
  const std::vector<HandSpec> five_fives = {with_five("Ah2h"), with_five("As2s"), with_five("Ad2d"),
                                            with_five("Ac2c"), with_five("Kc3c")};
  EXPECT_FALSE(pin_open_suits(five_fives, {}, FULL).has_value());
  EXPECT_EQ(masks_error<Razz>(five_fives), JOINT);

  // Other games keep their rank slots.
  const auto stud = request_of_masks<Stud>({with_five("Ah2h"), with_five("As2s")});
  EXPECT_EQ(stud.seats[0].holdings[0][0], fives);
}

TEST(Razz, PinningNeedsEverySlotToBeSuitBlind) {
  const CardSet fives = CardSet::rank(3);
  const Holding five_ace_deuce{fives, cards_of("Ah"), cards_of("2h")};
  // A suit slot, a partial rank, a suit on the board, a seat of alternatives:
  // each could tell the pinned card from its rank mates, so nothing is pinned.
  const std::vector<std::vector<HandSpec>> blockers = {
      {HandSpec{{five_ace_deuce}}, HandSpec{{Holding{CardSet::suit(0), cards_of("As"), cards_of("2s")}}}},
      {HandSpec{{five_ace_deuce}}, HandSpec{{Holding{cards_of("5c Kc"), cards_of("As"), cards_of("2s")}}}},
      {HandSpec{{five_ace_deuce}}, HandSpec{{named("KsQsJs"), named("KdQdJd")}}},
  };
  for (const auto& seats : blockers) {
    const auto r = request_of_masks<Razz>(seats);
    EXPECT_EQ(r.seats[0].holdings[0][0], fives);
  }
  EXPECT_FALSE(pin_open_suits(std::vector<HandSpec>{HandSpec{{five_ace_deuce}}, seat("KsQsJs")},
                              std::vector<CardSet>{CardSet::suit(2)}, FULL)
                   .has_value());
  // Whole ranks, named cards and open slots alone are pinned.
  const auto pinned = pin_open_suits(
      std::vector<HandSpec>{HandSpec{{five_ace_deuce}},
                            HandSpec{{Holding{fives, FULL, cards_of("5c")}}}},
      std::vector<CardSet>{FULL}, FULL);
  ASSERT_TRUE(pinned.has_value());
  EXPECT_EQ(pinned->seats[0].holdings[0][0], cards_of("5d"));
  EXPECT_EQ(pinned->seats[1].holdings[0][0], cards_of("5h"));
  EXPECT_EQ(pinned->seats[1].holdings[0][1], FULL);
}

}  // namespace
}  // namespace vantor
