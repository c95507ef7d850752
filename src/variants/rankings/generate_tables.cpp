// Writes the scoring tables as C++ sources: run at build time by tables.cmake.
//
//   generate_tables <output directory>
//
// Each ranking's five-card classes are numbered by sorting an order key over
// every distinct five-card hand; six- and seven-card entries take the best of
// their five-card subsets. The value tables share one perfect hash found by
// hash-and-displace over the 73,775 rank-count keys of 5, 6 and 7 cards.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t NO_ENTRY = 0xFFFF;
constexpr std::size_t VALUE_SLOTS = std::size_t{1} << 17;
constexpr std::size_t BUCKETS = std::size_t{1} << 14;
constexpr std::size_t FLUSH_MASKS = std::size_t{1} << 13;

enum class Order { High, ShortDeck, NoWheel, AceFive };

std::uint32_t rank_key(int r) {
  std::uint32_t k = 1;
  for (int i = 0; i < r; ++i) k *= 5;
  return k;
}

// Lower is better. Category in the high bits, then up to five deciding rank
// digits, most significant first.
std::uint64_t order_key(Order order, const std::array<int, 5>& ranks, bool flush) {
  std::array<int, 13> counts{};
  for (int r : ranks) ++counts[r];
  const bool ace_low = order == Order::AceFive;
  // A rank's strength in this order; higher is better only in the high orders.
  auto strength = [&](int r) { return ace_low ? (r + 1) % 13 : r; };

  std::vector<std::pair<int, int>> groups;  // (count, rank)
  for (int r = 0; r < 13; ++r)
    if (counts[r] > 0) groups.emplace_back(counts[r], r);
  std::sort(groups.begin(), groups.end(), [&](auto a, auto b) {
    if (a.first != b.first) return a.first > b.first;
    return strength(a.second) > strength(b.second);
  });

  std::uint64_t digits = 0;
  int shift = 16;
  for (auto [count, r] : groups) {
    digits |= static_cast<std::uint64_t>(ace_low ? strength(r) : 12 - r) << shift;
    shift -= 4;
  }

  if (ace_low) {
    // no pair 0, one pair 1, two pair 2, trips 3, full house 4, quads 5
    int category = 0;
    const int top = groups[0].first;
    if (top == 4) category = 5;
    else if (top == 3) category = groups[1].first == 2 ? 4 : 3;
    else if (top == 2) category = groups[1].first == 2 ? 2 : 1;
    return (static_cast<std::uint64_t>(category) << 40) | digits;
  }

  // Straights: the top card of a run of five, or -1.
  int straight_top = -1;
  if (groups.size() == 5) {
    std::array<int, 5> sorted = ranks;
    std::sort(sorted.begin(), sorted.end());
    if (sorted[4] - sorted[0] == 4) straight_top = sorted[4];
    const bool wheel = sorted == std::array<int, 5>{0, 1, 2, 3, 12};
    if (wheel && order == Order::High) straight_top = 3;
    // A-9-8-7-6 wraps past the missing low cards of the short deck.
    const bool short_wrap = sorted == std::array<int, 5>{4, 5, 6, 7, 12};
    if (short_wrap && order == Order::ShortDeck) straight_top = 7;
  }
  const bool flush_over_full_house = order == Order::ShortDeck;
  enum { SF, QUADS, FULL, FLUSH, STRAIGHT, TRIPS, TWO_PAIR, PAIR, HIGH_CARD };
  int category;
  if (straight_top >= 0) {
    category = flush ? SF : STRAIGHT;
    digits = static_cast<std::uint64_t>(12 - straight_top) << 16;
  } else if (flush) {
    category = FLUSH;
  } else {
    const int top = groups[0].first;
    if (top == 4) category = QUADS;
    else if (top == 3) category = groups[1].first == 2 ? FULL : TRIPS;
    else if (top == 2) category = groups[1].first == 2 ? TWO_PAIR : PAIR;
    else category = HIGH_CARD;
  }
  int place = category;
  if (flush_over_full_house && category == FLUSH) place = FULL;
  else if (flush_over_full_house && category == FULL) place = FLUSH;
  return (static_cast<std::uint64_t>(place) << 40) | digits;
}

// Every distinct five-card hand of an order, numbered best first.
struct Classes {
  Order order;
  std::vector<std::uint64_t> keys;  // sorted, unique

  std::uint16_t of(const std::array<int, 5>& ranks, bool flush) const {
    const std::uint64_t k = order_key(order, ranks, flush);
    return static_cast<std::uint16_t>(std::lower_bound(keys.begin(), keys.end(), k) - keys.begin());
  }
};

// Rank multisets of `size` cards, no rank more than four times, as sorted rank lists.
void multisets(int size, int from, std::vector<int>& cur, std::vector<std::vector<int>>& out) {
  if (static_cast<int>(cur.size()) == size) {
    out.push_back(cur);
    return;
  }
  for (int r = from; r < 13; ++r) {
    const auto same = std::count(cur.begin(), cur.end(), r);
    if (same >= 4) continue;
    cur.push_back(r);
    multisets(size, r, cur, out);
    cur.pop_back();
  }
}

Classes make_classes(Order order) {
  Classes c{order, {}};
  std::vector<std::vector<int>> fives;
  std::vector<int> cur;
  multisets(5, 0, cur, fives);
  for (const auto& m : fives) {
    std::array<int, 5> a{m[0], m[1], m[2], m[3], m[4]};
    c.keys.push_back(order_key(order, a, false));
    const bool distinct = std::adjacent_find(m.begin(), m.end()) == m.end();
    if (distinct && order != Order::AceFive) c.keys.push_back(order_key(order, a, true));
  }
  std::sort(c.keys.begin(), c.keys.end());
  c.keys.erase(std::unique(c.keys.begin(), c.keys.end()), c.keys.end());
  return c;
}

// Best class over the five-card subsets of a sorted rank list of 5 to 13 cards.
std::uint16_t best_of(const Classes& classes, const std::vector<int>& ranks, bool flush) {
  const int n = static_cast<int>(ranks.size());
  std::uint16_t best = NO_ENTRY;
  for (unsigned pick = 0; pick < (1u << n); ++pick) {
    if (__builtin_popcount(pick) != 5) continue;
    std::array<int, 5> a{};
    int k = 0;
    for (int i = 0; i < n; ++i)
      if ((pick >> i) & 1u) a[k++] = ranks[i];
    best = std::min(best, classes.of(a, flush));
  }
  return best;
}

struct Ranking {
  const char* name;  // table name prefix
  const char* file;  // generated source
  Order order;
  bool has_flushes;
  bool inverted;  // deuce-to-seven: 7461 - the best no-wheel high class
  std::size_t expected_classes;
};

template <class T>
bool write_array(std::ofstream& out, const char* name, const char* size,
                 const std::vector<T>& values) {
  out << "const std::uint" << 8 * sizeof(T) << "_t " << name << "[" << size << "] = {";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i % 16 == 0) out << "\n   ";
    out << ' ' << unsigned{values[i]} << ',';
  }
  out << "\n};\n";
  return static_cast<bool>(out);
}

bool open_source(std::ofstream& out, const std::string& path) {
  out.open(path);
  out << "// Generated by generate_tables.cpp; do not edit.\n"
         "#include \"variants/rankings/tables.h\"\n\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: generate_tables <output directory>\n");
    return 2;
  }
  const std::string dir = argv[1];

  // All rank-count keys of 5, 6 and 7 cards.
  std::vector<std::vector<int>> hands;
  for (int size = 5; size <= 7; ++size) {
    std::vector<int> cur;
    multisets(size, 0, cur, hands);
  }
  std::vector<std::uint32_t> keys;
  for (const auto& h : hands) {
    std::uint32_t k = 0;
    for (int r : h) k += rank_key(r);
    keys.push_back(k);
  }
  if (keys.size() != 73775) {
    std::fprintf(stderr, "expected 73775 keys, found %zu\n", keys.size());
    return 1;
  }

  // Hash and displace: buckets by the top 14 bits, largest bucket first, each
  // given the first displacement that puts all its keys on free slots.
  std::vector<std::vector<std::uint32_t>> buckets(BUCKETS);
  for (std::uint32_t k : keys) buckets[(std::uint64_t{k} * 0x9E3779B97F4A7C15ull) >> 50].push_back(k);
  std::vector<std::size_t> order(BUCKETS);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return buckets[a].size() > buckets[b].size(); });
  // Displacements are searched below 256 so the table is 16 KiB of bytes and
  // stays in the first-level cache beside the value reads (the search needs
  // under 100 here).
  std::vector<std::uint8_t> displacements(BUCKETS, 0);
  std::vector<bool> taken(VALUE_SLOTS, false);
  auto slot = [](std::uint32_t key, std::uint32_t d) {
    const std::uint64_t b = std::uint64_t{key} * 0x9E3779B97F4A7C15ull;
    return (static_cast<std::uint32_t>(b >> 47) + ((key * 130451u) | 1u) * d) & 0x1FFFFu;
  };
  for (std::size_t bucket : order) {
    const auto& members = buckets[bucket];
    if (members.empty()) break;
    bool placed = false;
    for (std::uint32_t d = 0; d < 256 && !placed; ++d) {
      std::vector<std::uint32_t> slots;
      bool ok = true;
      for (std::uint32_t k : members) {
        const std::uint32_t s = slot(k, d);
        if (taken[s] || std::find(slots.begin(), slots.end(), s) != slots.end()) {
          ok = false;
          break;
        }
        slots.push_back(s);
      }
      if (!ok) continue;
      for (std::uint32_t s : slots) taken[s] = true;
      displacements[bucket] = static_cast<std::uint8_t>(d);
      placed = true;
    }
    if (!placed) {
      std::fprintf(stderr, "no displacement places bucket %zu\n", bucket);
      return 1;
    }
  }
  auto value_slot = [&](std::uint32_t key) {
    return slot(key, displacements[(std::uint64_t{key} * 0x9E3779B97F4A7C15ull) >> 50]);
  };

  {
    std::ofstream out;
    if (!open_source(out, dir + "/displacements.cpp")) return 1;
    out << "namespace vantor {\n\n";
    write_array(out, "DISPLACEMENTS", "DISPLACEMENT_TABLE_SIZE", displacements);
    out << "\n}  // namespace vantor\n";
    if (!out) return 1;
  }

  const Ranking rankings[] = {
      {"HIGH", "high_tables.cpp", Order::High, true, false, 7462},
      {"SHORT_DECK", "short_deck_tables.cpp", Order::ShortDeck, true, false, 7460},
      {"DEUCE_SEVEN", "deuce_seven_tables.cpp", Order::NoWheel, true, true, 7462},
      {"ACE_FIVE", "ace_five_tables.cpp", Order::AceFive, false, false, 6175},
  };
  for (const Ranking& ranking : rankings) {
    const Classes classes = make_classes(ranking.order);
    if (classes.keys.size() != ranking.expected_classes) {
      std::fprintf(stderr, "%s: %zu classes, expected %zu\n", ranking.name, classes.keys.size(),
                   ranking.expected_classes);
      return 1;
    }
    const auto last = static_cast<std::uint16_t>(classes.keys.size() - 1);
    auto finish = [&](std::uint16_t best) {
      return ranking.inverted ? static_cast<std::uint16_t>(last - best) : best;
    };

    std::vector<std::uint16_t> values(VALUE_SLOTS, NO_ENTRY);
    for (std::size_t i = 0; i < hands.size(); ++i)
      values[value_slot(keys[i])] = finish(best_of(classes, hands[i], false));

    std::vector<std::uint16_t> flushes(FLUSH_MASKS, NO_ENTRY);
    if (ranking.has_flushes) {
      for (unsigned mask = 0; mask < FLUSH_MASKS; ++mask) {
        if (__builtin_popcount(mask) < 5) continue;
        std::vector<int> ranks;
        for (int r = 0; r < 13; ++r)
          if ((mask >> r) & 1u) ranks.push_back(r);
        flushes[mask] = finish(best_of(classes, ranks, true));
      }
    }

    std::ofstream out;
    if (!open_source(out, dir + "/" + ranking.file)) return 1;
    out << "namespace vantor::detail {\n\n";
    write_array(out, (std::string(ranking.name) + "_VALUES").c_str(), "VALUE_TABLE_SIZE", values);
    if (ranking.has_flushes)
      write_array(out, (std::string(ranking.name) + "_FLUSHES").c_str(), "FLUSH_TABLE_SIZE",
                  flushes);
    out << "\n}  // namespace vantor::detail\n";
    if (!out) return 1;
  }
  return 0;
}
