// What can go wrong reading a plain list of cards, and the guard on a hand
// buffer's size. Only standard headers: `cards/` reports its errors with this
// type without depending on the rest of `error/`, which itself names cards.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace vantor {

namespace detail {
// Lets an error family be built straight from one of its alternatives.
template <class Family, class A>
concept AlternativeOf = std::is_constructible_v<typename Family::Value, A&&> &&
                        !std::is_same_v<std::remove_cvref_t<A>, Family>;
}  // namespace detail

struct CardError {
  struct Malformed { std::string text; };
  struct InvalidRank { char32_t character; };
  struct InvalidSuit { char32_t character; };
  struct TooManyCards { std::uint64_t count; };
  using Value = std::variant<Malformed, InvalidRank, InvalidSuit, TooManyCards>;

  template <class A>
    requires detail::AlternativeOf<CardError, A>
  CardError(A&& a) : value(std::forward<A>(a)) {}  // NOLINT: implicit by design

  Value value;
  std::string text() const;
};

}  // namespace vantor
