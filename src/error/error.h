// The error families of vantor and the one error type that crosses modules.
//
// Every fallible engine operation returns `Result<T>` (a value or a
// `PokerError`). Errors travel unchanged: an alternative converts implicitly
// into its family and the family into `PokerError`, and the display text is
// the innermost text with nothing added.
//
//   Result<int> f() { return EquityError::TooFewSeats{}; }
//   f().error().text();  // "a spot needs at least two seats to have an answer"
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "cards/card.h"
#include "error/card_error.h"
#include "error/expected.h"
#include "notation/notation_error.h"

namespace vantor {

struct GameError {
  struct DuplicateCard { Card card; };
  struct NotInDeck { Card card; };
  using Value = std::variant<DuplicateCard, NotInDeck>;

  template <class A>
    requires detail::AlternativeOf<GameError, A>
  GameError(A&& a) : value(std::forward<A>(a)) {}  // NOLINT

  Value value;
  std::string text() const;
};

struct EquityError {
  struct TooFewSeats {};
  struct NotEnoughCards { std::uint64_t count; };
  struct MixedHandSizes {};
  struct BoardSize { std::uint64_t count; };
  struct UnseenBoard { std::uint64_t turned; std::uint64_t given; };
  struct SamplingStalled { std::uint64_t draws; std::uint64_t used; };
  struct TooManySeats { std::uint64_t players; std::uint64_t seats; };
  struct Infeasible { std::string what; };
  struct Notation { NotationError error; };
  using Value = std::variant<TooFewSeats, NotEnoughCards, MixedHandSizes, BoardSize, UnseenBoard,
                             SamplingStalled, TooManySeats, Infeasible, Notation>;

  template <class A>
    requires detail::AlternativeOf<EquityError, A>
  EquityError(A&& a) : value(std::forward<A>(a)) {}  // NOLINT
  EquityError(NotationError e) : value(Notation{std::move(e)}) {}  // NOLINT

  Value value;
  std::string text() const;
};

// Exactly one error of one family; its text is that error's text, unchanged.
struct PokerError {
  using Value = std::variant<CardError, GameError, EquityError>;

  PokerError(CardError e) : value(std::move(e)) {}      // NOLINT
  PokerError(GameError e) : value(std::move(e)) {}      // NOLINT
  PokerError(EquityError e) : value(std::move(e)) {}    // NOLINT
  PokerError(NotationError e) : value(EquityError(std::move(e))) {}  // NOLINT
  // Any alternative of any family, e.g. `EquityError::TooFewSeats{}`.
  template <class A>
    requires(detail::AlternativeOf<CardError, A> && !std::is_same_v<std::remove_cvref_t<A>, CardError>)
  PokerError(A&& a) : value(CardError(std::forward<A>(a))) {}  // NOLINT
  template <class A>
    requires(detail::AlternativeOf<GameError, A> && !std::is_same_v<std::remove_cvref_t<A>, GameError>)
  PokerError(A&& a) : value(GameError(std::forward<A>(a))) {}  // NOLINT
  template <class A>
    requires(detail::AlternativeOf<EquityError, A> &&
             !std::is_same_v<std::remove_cvref_t<A>, EquityError>)
  PokerError(A&& a) : value(EquityError(std::forward<A>(a))) {}  // NOLINT

  Value value;
  std::string text() const;
};

template <class T>
using Result = Expected<T, PokerError>;
using Outcome = Status<PokerError>;

}  // namespace vantor
