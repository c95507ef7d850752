#include "sampler/matching.h"

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

namespace vantor {

namespace {

// Inputs up to this many cards use one machine word per slot.
constexpr std::size_t SMALL_CARDS = 64;
constexpr int UNMATCHED = -1;

struct Matcher {
  std::span<const CardSet> slots;
  std::span<const Card> cards;
  std::span<int> owner;     // per card position: the slot holding it
  std::span<bool> visited;  // per card position, cleared for each slot

  // Finds a card for `slot`, moving other slots along an augmenting path.
  bool augment(std::size_t slot) {
    const CardSet set = slots[slot];
    for (std::size_t p = 0; p < cards.size(); ++p) {
      if (visited[p] || !set.contains(cards[p])) continue;
      visited[p] = true;
      if (owner[p] == UNMATCHED || augment(static_cast<std::size_t>(owner[p]))) {
        owner[p] = static_cast<int>(slot);
        return true;
      }
    }
    return false;
  }

  bool run() {
    for (int& o : owner) o = UNMATCHED;
    std::size_t matched = 0;
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
      for (bool& v : visited) v = false;
      if (augment(slot)) ++matched;
    }
    return matched == slots.size();
  }
};

// The common case, at most 64 slots and 64 cards: each slot's acceptable card
// positions as one word, visited marks as one word, so the search walks set
// bits instead of testing every position.
struct WordMatcher {
  std::array<std::uint64_t, SMALL_CARDS> adjacent;  // per slot
  std::array<int, SMALL_CARDS> owner;               // per card position
  std::uint64_t visited = 0;

  bool augment(std::size_t slot) {
    for (std::uint64_t open = adjacent[slot] & ~visited; open != 0; open &= ~visited) {
      const auto p = static_cast<std::size_t>(std::countr_zero(open));
      visited |= std::uint64_t{1} << p;
      if (owner[p] == UNMATCHED || augment(static_cast<std::size_t>(owner[p]))) {
        owner[p] = static_cast<int>(slot);
        return true;
      }
    }
    return false;
  }
};

}  // namespace

bool has_perfect_matching(std::span<const CardSet> slots, std::span<const Card> cards) {
  if (cards.size() < slots.size()) return false;
  if (slots.empty()) return true;
  const std::size_t n = cards.size();
  if (n <= SMALL_CARDS) {  // then slots.size() <= n too
    WordMatcher m;
    for (std::size_t s = 0; s < slots.size(); ++s) {
      const std::uint64_t set = slots[s].mask();
      std::uint64_t adjacent = 0;
      for (std::size_t p = 0; p < n; ++p) adjacent |= ((set >> cards[p].index()) & 1u) << p;
      m.adjacent[s] = adjacent;
    }
    for (std::size_t p = 0; p < n; ++p) m.owner[p] = UNMATCHED;
    std::size_t matched = 0;
    for (std::size_t s = 0; s < slots.size(); ++s) {
      m.visited = 0;
      if (m.augment(s)) ++matched;
    }
    return matched == slots.size();
  }
  std::vector<int> owner(n);
  const auto visited = std::make_unique<bool[]>(n);
  return Matcher{slots, cards, owner, std::span(visited.get(), n)}.run();
}

}  // namespace vantor
