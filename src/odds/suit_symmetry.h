// Suit symmetry for the exact walk. Permuting suits maps every deal to one
// with the same showdown, so where nothing in a deal tells two suits apart
// (no seat, named board card or available card), the boards that differ
// only by swapping them have the same outcome: the walk visits one board of
// each such class and counts it with the class's size.
//
//   SymmetricBoards<Key> boards(marks, available, 5, base, key_of);
//   boards.run([&](const Key& key, std::uint64_t copies) { ...; return true; });
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantor {

inline constexpr unsigned SUITS = 4;

// The cards of suit 0 of a card mask (card = rank * 4 + suit): bit 4r.
inline constexpr std::uint64_t SUIT_LANE = 0x1111111111111;

// The cards of `suit` in `cards`, moved to suit 0's lane.
inline constexpr std::uint64_t suit_lane(std::uint64_t cards, unsigned suit) {
  return (cards >> suit) & SUIT_LANE;
}

// `cards` with suit s renamed to `to[s]`.
inline constexpr std::uint64_t permute_suits(std::uint64_t cards, const std::array<std::uint8_t, SUITS>& to) {
  std::uint64_t out = 0;
  for (unsigned s = 0; s < SUITS; ++s) out |= suit_lane(cards, s) << to[s];
  return out;
}

// Suits told apart by nothing in `marks`: class[s] is the lowest suit with
// the same cards as s in every mark.
inline std::array<std::uint8_t, SUITS> suit_classes(std::span<const std::uint64_t> marks) {
  std::array<std::uint8_t, SUITS> cls{};
  for (unsigned s = 0; s < SUITS; ++s) {
    cls[s] = static_cast<std::uint8_t>(s);
    for (unsigned t = 0; t < s; ++t) {
      const bool same = std::all_of(marks.begin(), marks.end(), [&](std::uint64_t m) {
        return suit_lane(m, s) == suit_lane(m, t);
      });
      if (same) {
        cls[s] = cls[t];
        break;
      }
    }
  }
  return cls;
}

// Every suit permutation that keeps each of `marks` as it is (the identity
// first).
inline std::vector<std::array<std::uint8_t, SUITS>> suit_symmetries(std::span<const std::uint64_t> marks) {
  std::vector<std::array<std::uint8_t, SUITS>> found;
  for (std::uint8_t a = 0; a < SUITS; ++a)
    for (std::uint8_t b = 0; b < SUITS; ++b)
      for (std::uint8_t c = 0; c < SUITS; ++c) {
        if (a == b || a == c || b == c) continue;
        const std::array<std::uint8_t, SUITS> to{a, b, c, static_cast<std::uint8_t>(6 - a - b - c)};
        const bool keeps = std::all_of(marks.begin(), marks.end(),
                                       [&](std::uint64_t m) { return permute_suits(m, to) == m; });
        if (keeps) found.push_back(to);
      }
  return found;
}

// A board's open cards as a mask: the key of a game scored from cards.
struct CardMask {
  std::uint64_t cards = 0;
  constexpr CardMask plus(CardMask o) const { return {cards | o.cards}; }
};

// The boards of `open` cards from `available`, one per class of boards that
// differ by a permutation of suits no mark tells apart, each with the size
// of its class. The sizes add up to C(|available|, open). `Key` is a card
// sum built suit by suit: key_of(cards of one suit) gives a suit's part and
// `Key::plus` adds parts.
template <class Key>
class SymmetricBoards {
 public:
  template <class KeyOf>
  SymmetricBoards(std::span<const std::uint64_t> marks, std::uint64_t available, unsigned open, Key base,
                  KeyOf&& key_of)
      : open_(open), base_(base) {
    const std::array<std::uint8_t, SUITS> cls = suit_classes(marks);
    // Suits ordered so each class is consecutive.
    unsigned n = 0;
    for (unsigned c = 0; c < SUITS; ++c)
      for (unsigned s = 0; s < SUITS; ++s)
        if (cls[s] == c) order_[n++] = static_cast<std::uint8_t>(s);
    for (unsigned level = 0; level < SUITS; ++level) {
      const unsigned s = order_[level];
      same_class_[level] = level > 0 && cls[s] == cls[order_[level - 1]];
      place_[level] = same_class_[level] ? place_[level - 1] + 1 : 1;
      list_subsets(level, suit_lane(available, s), s, key_of);
    }
  }

  // Calls visit(key, copies) for each class until it answers false; true
  // when every class was visited.
  template <class Visit>
  bool run(Visit&& visit) {
    return walk(0, open_, base_, 1, 0, 0, visit);
  }

 private:
  struct Part {
    std::uint64_t lane;  // the suit's cards, in suit 0's lane
    Key key;
  };

  // The subsets of a suit's cards with at most `open_` cards, by size, each
  // size in descending order of its lane, so that a class's later suits can
  // start where the earlier one stands.
  template <class KeyOf>
  void list_subsets(unsigned level, std::uint64_t lane, unsigned suit, KeyOf& key_of) {
    std::array<std::uint64_t, 16> cards{};
    unsigned n = 0;
    for (std::uint64_t m = lane; m != 0; m &= m - 1) cards[n++] = m & (~m + 1);
    std::reverse(cards.begin(), cards.begin() + n);  // highest first
    for (unsigned size = 0; size <= open_ && size <= n; ++size) {
      std::vector<Part>& out = parts_[level][size];
      // Positions in ascending lexicographic order give descending lanes.
      std::array<unsigned, 8> pos{};
      for (unsigned i = 0; i < size; ++i) pos[i] = i;
      while (true) {
        std::uint64_t chosen = 0;
        for (unsigned i = 0; i < size; ++i) chosen |= cards[pos[i]];
        out.push_back({chosen, key_of(chosen << suit)});
        int i = static_cast<int>(size) - 1;
        while (i >= 0 && pos[i] == n - size + static_cast<unsigned>(i)) --i;
        if (i < 0) break;
        ++pos[i];
        for (unsigned j = static_cast<unsigned>(i) + 1; j < size; ++j) pos[j] = pos[j - 1] + 1;
      }
    }
  }

  // Level `level` on: `left` cards still to place; `run_length` equal lanes
  // ending at the previous level, which took `prev_size` cards at index
  // `prev_index` of its list.
  template <class Visit>
  bool walk(unsigned level, unsigned left, const Key& key, std::uint64_t copies, unsigned run_length,
            std::size_t prev_index, Visit& visit, unsigned prev_size = 0) {
    if (level == SUITS) return left != 0 || visit(key, copies);
    const bool same = same_class_[level];
    const unsigned last = level + 1 == SUITS;
    const unsigned high = same ? std::min(left, prev_size) : left;
    const unsigned low = last ? left : 0;
    for (unsigned size = high + 1; size-- > low;) {
      const std::vector<Part>& parts = parts_[level][size];
      const std::size_t first = same && size == prev_size ? prev_index : 0;
      for (std::size_t i = first; i < parts.size(); ++i) {
        const bool equal = same && size == prev_size && i == prev_index;
        const unsigned run = equal ? run_length + 1 : 1;
        const std::uint64_t next = copies * place_[level] / run;
        if (!walk(level + 1, left - size, key.plus(parts[i].key), next, run, i, visit, size))
          return false;
      }
    }
    return true;
  }

  unsigned open_;
  Key base_;
  std::array<std::uint8_t, SUITS> order_{};
  std::array<bool, SUITS> same_class_{};
  std::array<unsigned, SUITS> place_{};
  std::array<std::array<std::vector<Part>, 9>, SUITS> parts_;
};

}  // namespace vantor
