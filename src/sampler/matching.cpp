#include "sampler/matching.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
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

// A matching of slots to distinct cards, grown a holding at a time, so that
// a search over the seats' holdings can extend it and step back by copy.
class GrowingMatching {
 public:
  explicit GrowingMatching(CardSet live) : live_(live) { owner_.fill(NONE); }

  // False when the slots cannot all get a card beside those already placed
  // (the matching is then spent).
  bool add(std::span<const CardSet> slots) {
    for (CardSet slot : slots) {
      if (count_ == slots_.size()) return false;  // more slots than cards
      slots_[count_] = (slot & live_).mask();
      std::uint64_t visited = 0;
      if (!augment(count_++, visited)) return false;
    }
    return true;
  }

 private:
  static constexpr std::uint8_t NONE = 0xFF;

  // Finds a card for `slot`, moving other slots along an augmenting path.
  bool augment(std::size_t slot, std::uint64_t& visited) {
    for (std::uint64_t rest = slots_[slot] & ~visited; rest != 0; rest &= rest - 1) {
      const auto c = static_cast<unsigned>(std::countr_zero(rest));
      if ((visited >> c) & 1) continue;  // reached deeper down this path
      visited |= std::uint64_t{1} << c;
      if (owner_[c] == NONE || augment(owner_[c], visited)) {
        owner_[c] = static_cast<std::uint8_t>(slot);
        return true;
      }
    }
    return false;
  }

  CardSet live_;
  std::array<std::uint64_t, 64> slots_{};
  std::array<std::uint8_t, 64> owner_{};  // per card: the slot holding it
  std::size_t count_ = 0;
};

// Whether one holding per seat and the board can all get distinct live
// cards at once; nothing when the search would try more holdings than a
// setup step should (the spot is then left to dealing, as before).
std::optional<bool> some_deal_fits(std::span<const HandSpec> seats, std::span<const CardSet> board,
                                   CardSet live) {
  std::uint32_t tries = 20'000;
  GrowingMatching base(live);
  if (!base.add(board)) return false;
  // Seats of one holding join at once, and so do the cards a seat names in
  // every holding; of the other holdings only those that fit beside all of
  // that stay, and the seat with fewest branches goes first.
  std::vector<CardSet> named(seats.size());
  for (std::size_t i = 0; i < seats.size(); ++i) {
    const auto& holdings = seats[i].holdings;
    if (holdings.size() == 1) {
      if (!base.add(holdings.front())) return false;
      continue;
    }
    named[i] = CardSet::full_deck();
    for (const Holding& h : holdings) {
      CardSet in_h;
      for (CardSet slot : h)
        if (slot.is_single()) in_h |= slot;
      named[i] &= in_h;
    }
    for (Card c : named[i]) {
      const CardSet slot = CardSet::single(c);
      if (!base.add(std::span<const CardSet>(&slot, 1))) return false;
    }
  }
  // A holding without the seat's common named cards, which are placed already.
  std::vector<std::vector<Holding>> branches;
  for (std::size_t i = 0; i < seats.size(); ++i) {
    if (seats[i].holdings.size() == 1) continue;
    std::vector<Holding> fitting;
    for (const Holding& h : seats[i].holdings) {
      if (tries-- == 0) return std::nullopt;
      Holding rest;
      for (CardSet slot : h)
        if (!(slot.is_single() && named[i].intersects(slot))) rest.push_back(slot);
      if (GrowingMatching(base).add(rest)) fitting.push_back(std::move(rest));
    }
    if (fitting.empty()) return false;
    branches.push_back(std::move(fitting));
  }
  std::stable_sort(branches.begin(), branches.end(),
                   [](const auto& a, const auto& b) { return a.size() < b.size(); });
  const auto search = [&](const auto& self, std::size_t depth,
                          const GrowingMatching& so_far) -> std::optional<bool> {
    if (depth == branches.size()) return true;
    for (const Holding& h : branches[depth]) {
      if (tries-- == 0) return std::nullopt;
      GrowingMatching next = so_far;
      if (!next.add(h)) continue;
      const std::optional<bool> found = self(self, depth + 1, next);
      if (found != false) return found;
    }
    return false;
  };
  return search(search, 0, base);
}

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

bool deal_may_exist(std::span<const HandSpec> seats, std::span<const CardSet> board,
                    CardSet live) {
  // A seat contributes, per position, every card any of its holdings accepts
  // there; seats whose holdings disagree in length are judged elsewhere.
  std::vector<CardSet> merged;
  for (const HandSpec& seat : seats) {
    if (seat.holdings.empty()) continue;
    const std::size_t length = seat.holdings.front().size();
    bool equal = true;
    for (const Holding& h : seat.holdings) equal = equal && h.size() == length;
    if (!equal) continue;
    for (std::size_t j = 0; j < length; ++j) {
      CardSet any;
      for (const Holding& h : seat.holdings) any |= h[j];
      merged.push_back(any);
    }
  }
  merged.insert(merged.end(), board.begin(), board.end());

  for (CardSet slot : merged)
    if (!slot.intersects(live)) return false;
  const std::vector<Card> cards = live.to_vector();
  if (!has_perfect_matching(merged, cards)) return false;
  // Merging lets positions of different holdings fit together where no
  // holding does; a short search over whole holdings settles most spots.
  return some_deal_fits(seats, board, live) != false;
}

}  // namespace vantor
