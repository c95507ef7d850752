// What went wrong reading hand, board or dead-card notation, and where.
//
// Positions are byte offsets into the caller's UTF-8 text, so the error can be
// shown with a caret underline:
//
//   NotationError e{NotationErrorKind::CardNamedTwice{"Ah"}, 2, 2};
//   e.text();              // "Ah is named twice in one hand (at byte 2)"
//   e.underline("AhAh");   // "AhAh\n  ^^\nAh is named twice in one hand"
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace vantor {

struct NotationErrorKind {
  struct UnexpectedChar { char32_t character; };
  struct NothingToRead {};
  struct CardNamedTwice { std::string card; };
  struct WrongCount { std::size_t dealt; std::size_t written; };
  struct WrongCountWithStar { std::size_t dealt; std::size_t written; };
  struct RangeNeedsTwoCards {};
  struct PairWithSuitedness {};
  struct GapMismatch {};
  struct PercentRange {};
  struct DeadCardNotSingle {};
  struct TooManyBoardCards { std::size_t limit; std::size_t written; };

  using Value = std::variant<UnexpectedChar, NothingToRead, CardNamedTwice, WrongCount,
                             WrongCountWithStar, RangeNeedsTwoCards, PairWithSuitedness,
                             GapMismatch, PercentRange, DeadCardNotSingle, TooManyBoardCards>;

  template <class A>
    requires std::is_constructible_v<Value, A&&>
  NotationErrorKind(A&& alternative) : value(std::forward<A>(alternative)) {}  // NOLINT

  Value value;

  std::string message() const;
};

struct NotationError {
  NotationErrorKind kind;
  std::size_t start = 0;
  std::size_t length = 0;

  // "{message} (at byte {start})".
  std::string text() const;
  // The text, a caret line under the span (at least one caret), the message.
  std::string underline(std::string_view text) const;
};

}  // namespace vantor
