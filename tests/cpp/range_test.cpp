// Range shorthand: combo tokens, dash walks, "+" ladders and the expansion order.
#include "notation/range.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <variant>

namespace vantor {
namespace {

std::vector<TwoCardCombo> combos_of(std::string_view piece) {
  auto r = parse_range(piece);
  EXPECT_TRUE(r.has_value()) << piece;
  if (!r || !*r) {
    ADD_FAILURE() << "not range notation: " << piece;
    return {};
  }
  return **r;
}

template <class K>
bool fails_with(std::string_view piece) {
  auto r = parse_range(piece);
  return !r && std::holds_alternative<K>(r.error().value);
}

bool not_range(std::string_view piece) {
  auto r = parse_range(piece);
  return r && !*r;
}

std::string names(const std::vector<TwoCardCombo>& combos) {
  std::string out;
  for (const auto& c : combos) out += c[0].text() + c[1].text() + " ";
  return out;
}

TEST(Combo, TokensReadCaseBlindAndInEitherOrder) {
  using S = Suitedness;
  EXPECT_EQ(*parse_combo("AKs").value(), (Combo{14, 13, S::Suited}));
  EXPECT_EQ(*parse_combo("aks").value(), (Combo{14, 13, S::Suited}));
  EXPECT_EQ(*parse_combo("AKS").value(), (Combo{14, 13, S::Suited}));
  EXPECT_EQ(*parse_combo("KAs").value(), (Combo{14, 13, S::Suited}));
  EXPECT_EQ(*parse_combo("KA").value(), (Combo{14, 13, S::Any}));
  EXPECT_EQ(*parse_combo("t9O").value(), (Combo{10, 9, S::Offsuit}));
  EXPECT_EQ(*parse_combo("77").value(), (Combo{7, 7, S::Any}));
  for (std::string_view none : {"", "A", "AKso", "AKx", "AK ", " AK", "Ah", "A*", "AK+", "é",
                                "Aé", "AKé", "1K"})
    EXPECT_FALSE(parse_combo(none).value().has_value()) << none;
  auto pair = parse_combo("QQs");
  ASSERT_FALSE(pair);
  EXPECT_TRUE(std::holds_alternative<NotationErrorKind::PairWithSuitedness>(pair.error().value));
  EXPECT_FALSE(parse_combo("99o"));
  EXPECT_FALSE(parse_combo("99O"));
  EXPECT_FALSE(parse_combo("99x").value().has_value());
}

TEST(Combo, WalkBetweenRunsUpFromTheLowerEnd) {
  using S = Suitedness;
  const auto up = walk_between({5, 4, S::Suited}, {11, 10, S::Suited});
  const auto down = walk_between({11, 10, S::Suited}, {5, 4, S::Suited});
  ASSERT_TRUE(up && down);
  EXPECT_EQ(*up, *down);
  ASSERT_EQ(up->size(), 7u);
  EXPECT_EQ(up->front(), (Combo{5, 4, S::Suited}));
  EXPECT_EQ(up->back(), (Combo{11, 10, S::Suited}));
  EXPECT_FALSE(walk_between({14, 2, S::Suited}, {14, 5, S::Suited}));  // gaps 12 and 9
  EXPECT_FALSE(walk_between({14, 13, S::Suited}, {14, 13, S::Offsuit}));
  const auto same = walk_between({9, 9, S::Any}, {9, 9, S::Any});
  ASSERT_TRUE(same);
  EXPECT_EQ(same->size(), 1u);
}

TEST(Range, ClassSizesAndExpansionOrder) {
  EXPECT_EQ(combos_of("AK").size(), 16u);
  EXPECT_EQ(combos_of("AKs").size(), 4u);
  EXPECT_EQ(combos_of("AKo").size(), 12u);
  EXPECT_EQ(combos_of("QQ").size(), 6u);
  EXPECT_EQ(combos_of("aks"), combos_of("AKs"));
  EXPECT_EQ(combos_of("AKS"), combos_of("AKs"));
  EXPECT_EQ(combos_of("KAs"), combos_of("AKs"));

  EXPECT_EQ(names(combos_of("AKs")), "AcKc AdKd AhKh AsKs ");
  EXPECT_EQ(names(combos_of("QQ")), "QcQd QcQh QcQs QdQh QdQs QhQs ");
  EXPECT_EQ(names(combos_of("AKo")),
            "AcKd AcKh AcKs AdKc AdKh AdKs AhKc AhKd AhKs AsKc AsKd AsKh ");
  const auto ak = combos_of("AK");
  EXPECT_EQ(ak.front()[0].index(), 48u);
  EXPECT_EQ(ak.front()[1].index(), 44u);
  EXPECT_EQ(ak.back()[0].index(), 51u);
  EXPECT_EQ(ak.back()[1].index(), 47u);
  EXPECT_EQ(ak[1][0].text() + ak[1][1].text(), "AcKd");  // high suit outer, low suit inner
  const auto qq = combos_of("QQ");
  EXPECT_EQ(qq.front()[0].index(), 40u);
  EXPECT_EQ(qq.front()[1].index(), 41u);
}

TEST(Range, PlusLaddersClimb) {
  EXPECT_EQ(combos_of("AA+"), combos_of("AA"));
  const auto pairs = combos_of("22+");
  ASSERT_EQ(pairs.size(), 78u);
  // Every pair combo once, climbing from deuces to aces.
  std::set<std::pair<unsigned, unsigned>> seen;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_EQ(pairs[i][0].rank(), pairs[i][1].rank());
    EXPECT_LT(pairs[i][0].suit(), pairs[i][1].suit());
    EXPECT_EQ(pairs[i][0].rank(), i / 6);
    seen.insert({pairs[i][0].index(), pairs[i][1].index()});
  }
  EXPECT_EQ(seen.size(), 78u);

  EXPECT_EQ(names(combos_of("TT+")), names(combos_of("TT")) + names(combos_of("JJ")) +
                                         names(combos_of("QQ")) + names(combos_of("KK")) +
                                         names(combos_of("AA")));
  EXPECT_EQ(combos_of("AKs+"), combos_of("AKs"));
  EXPECT_EQ(names(combos_of("ATs+")), names(combos_of("ATs")) + names(combos_of("AJs")) +
                                          names(combos_of("AQs")) + names(combos_of("AKs")));
  EXPECT_EQ(names(combos_of("K9o+")), names(combos_of("K9o")) + names(combos_of("KTo")) +
                                          names(combos_of("KJo")) + names(combos_of("KQo")));
  const auto a2 = combos_of("A2+");
  ASSERT_EQ(a2.size(), 12u * 16u);
  for (std::size_t i = 0; i < a2.size(); ++i) {
    EXPECT_EQ(a2[i][0].rank_value(), 14u);
    EXPECT_EQ(a2[i][1].rank_value(), 2u + i / 16);
  }
  EXPECT_EQ(combos_of("2A+"), a2);
}

TEST(Range, DashRangesWalkEitherWay) {
  const auto low = combos_of("22-55");
  ASSERT_EQ(low.size(), 24u);
  EXPECT_EQ(names(low), names(combos_of("22")) + names(combos_of("33")) +
                            names(combos_of("44")) + names(combos_of("55")));
  EXPECT_EQ(combos_of("55-22"), low);
  const auto connectors = combos_of("54s-JTs");
  EXPECT_EQ(connectors, combos_of("JTs-54s"));
  ASSERT_EQ(connectors.size(), 28u);
  EXPECT_EQ(names(connectors).substr(0, 5), "5c4c ");
  EXPECT_EQ(names(connectors).substr(names(connectors).size() - 5), "JsTs ");
  EXPECT_EQ(names(combos_of("K9o-Q8o")), names(combos_of("Q8o")) + names(combos_of("K9o")));
  EXPECT_EQ(combos_of("aa-kk"), combos_of("KK+"));
}

TEST(Range, ErrorsAndFallThrough) {
  EXPECT_TRUE(fails_with<NotationErrorKind::PairWithSuitedness>("QQs"));
  EXPECT_TRUE(fails_with<NotationErrorKind::PairWithSuitedness>("99o+"));
  EXPECT_TRUE(fails_with<NotationErrorKind::PairWithSuitedness>("QQs-KK"));
  EXPECT_TRUE(fails_with<NotationErrorKind::PairWithSuitedness>("KK-QQo"));
  EXPECT_TRUE(fails_with<NotationErrorKind::GapMismatch>("AKs-AQo"));
  EXPECT_TRUE(fails_with<NotationErrorKind::GapMismatch>("A2s-A5s"));
  EXPECT_TRUE(fails_with<NotationErrorKind::PercentRange>("20%"));
  EXPECT_TRUE(fails_with<NotationErrorKind::PercentRange>("AKs%"));
  EXPECT_TRUE(fails_with<NotationErrorKind::PercentRange>("QQs%"));  // "%" is checked first
  for (std::string_view piece : {"AKx", "QQ+-KK", "AK - QJ", "Ah-Kh", "AhKh", "Ah", "A*", "+",
                                 "-", "AK-", "-AK", "AK++", "A K"})
    EXPECT_TRUE(not_range(piece)) << piece;
}

}  // namespace
}  // namespace vantor
