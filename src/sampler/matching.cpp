#include "sampler/matching.h"

#include <array>
#include <memory>
#include <vector>

namespace vantor {

namespace {

// Inputs up to this many cards use stack arrays.
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

}  // namespace

bool has_perfect_matching(std::span<const CardSet> slots, std::span<const Card> cards) {
  if (cards.size() < slots.size()) return false;
  if (slots.empty()) return true;
  const std::size_t n = cards.size();
  if (n <= SMALL_CARDS) {
    std::array<int, SMALL_CARDS> owner;
    std::array<bool, SMALL_CARDS> visited;
    return Matcher{slots, cards, std::span(owner.data(), n), std::span(visited.data(), n)}.run();
  }
  std::vector<int> owner(n);
  const auto visited = std::make_unique<bool[]>(n);
  return Matcher{slots, cards, owner, std::span(visited.get(), n)}.run();
}

}  // namespace vantor
