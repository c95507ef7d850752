// A value or an error, for every fallible operation of the engine.
//
// The engine reports expected failures by value rather than by exception, so a
// failing chunk on a worker thread hands its error back like any other result.
//
//   Expected<int, CardError> r = parse(...);
//   if (!r) return r.error();          // propagate unchanged
//   use(*r);
#pragma once

#include <concepts>
#include <type_traits>
#include <utility>
#include <variant>

namespace vantor {

// Marks the error alternative when T and E could be confused.
template <class E>
struct Unexpected {
  E error;
};
template <class E>
Unexpected(E) -> Unexpected<E>;

template <class T, class E>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Expected(Unexpected<E> u) : v_(std::in_place_index<1>, std::move(u.error)) {}  // NOLINT
  // Anything an E can be built from (an error alternative, a nested error) converts.
  template <class U>
    requires(!std::is_same_v<std::remove_cvref_t<U>, Expected> &&
             !std::is_same_v<std::remove_cvref_t<U>, T> && !std::is_convertible_v<U, T> &&
             std::is_constructible_v<E, U>)
  Expected(U&& error) : v_(std::in_place_index<1>, E(std::forward<U>(error))) {}  // NOLINT

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { return std::get<1>(v_); }
  const E& error() const& { return std::get<1>(v_); }
  E&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, E> v_;
};

// Success without a value.
struct Ok {
  friend constexpr bool operator==(Ok, Ok) = default;
};

template <class E>
using Status = Expected<Ok, E>;

}  // namespace vantor
