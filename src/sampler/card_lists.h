// Many card lists of one width, stored back to back in one vector.
//
// Listing every card set of a holding can give hundreds of thousands of
// short lists; one flat buffer avoids a heap block per list.
//
//   CardLists lists(2);
//   lists.push_back(pair);               // pair.size() == 2
//   for (std::size_t i = 0; i < lists.size(); ++i) use(lists[i]);
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "cards/card.h"

namespace vantor {

class CardLists {
 public:
  CardLists() = default;
  explicit CardLists(std::size_t width) : width_(width) {}

  std::size_t width() const { return width_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  std::span<const Card> operator[](std::size_t i) const {
    return {cards_.data() + i * width_, width_};
  }

  // The list must have exactly width() cards.
  void push_back(std::span<const Card> list) {
    cards_.insert(cards_.end(), list.begin(), list.end());
    ++size_;
  }

  // Room for n lists.
  void reserve(std::size_t n) { cards_.reserve(n * width_); }

  // Appends every list of `other` (of the same width).
  void append(const CardLists& other) {
    cards_.insert(cards_.end(), other.cards_.begin(), other.cards_.end());
    size_ += other.size_;
  }

  // Appends copies of lists first .. first + count - 1 of this one.
  void repeat(std::size_t first, std::size_t count) {
    const std::size_t end = cards_.size();
    cards_.resize(end + count * width_);
    std::copy_n(cards_.begin() + static_cast<std::ptrdiff_t>(first * width_), count * width_,
                cards_.begin() + static_cast<std::ptrdiff_t>(end));
    size_ += count;
  }

  // Every card of every list, list after list.
  std::span<const Card> flat() const { return cards_; }

  friend bool operator==(const CardLists&, const CardLists&) = default;

 private:
  std::size_t width_ = 0;
  std::size_t size_ = 0;  // kept apart: lists of width 0 still count
  std::vector<Card> cards_;
};

}  // namespace vantor
