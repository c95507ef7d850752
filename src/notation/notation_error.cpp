#include "notation/notation_error.h"

#include <algorithm>

#include "cards/text.h"  // utf8_of

namespace vantor {
namespace {

std::string wrong_count(std::size_t dealt, std::size_t written) {
  return "this game deals " + std::to_string(dealt) + (dealt == 1 ? " card" : " cards") + ", but " +
         std::to_string(written) + (written == 1 ? " was" : " were") + " written";
}

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

std::string NotationErrorKind::message() const {
  using K = NotationErrorKind;
  return std::visit(
      Overloaded{
          [](const K::UnexpectedChar& e) {
            return "'" + utf8_of(e.character) + "' is not a rank, a suit, or '*'";
          },
          [](const K::NothingToRead&) { return std::string("nothing to read here"); },
          [](const K::CardNamedTwice& e) { return e.card + " is named twice in one hand"; },
          [](const K::WrongCount& e) { return wrong_count(e.dealt, e.written); },
          [](const K::WrongCountWithStar& e) {
            return wrong_count(e.dealt, e.written) +
                   ": '*' is always exactly one card and never binds to the rank before it, so "
                   "'A*' is two cards, not one";
          },
          [](const K::RangeNeedsTwoCards&) {
            return std::string("ranges are only written where a hand holds two cards");
          },
          [](const K::PairWithSuitedness&) {
            return std::string("a pair cannot be suited or offsuit");
          },
          [](const K::GapMismatch&) {
            return std::string("both ends of a range must share the same gap");
          },
          [](const K::PercentRange&) {
            return std::string(
                "percentage ranges need a hand-strength ordering this library does not define");
          },
          [](const K::DeadCardNotSingle&) {
            return std::string(
                "a dead card must name one card, since every reading changes the answer");
          },
          [](const K::TooManyBoardCards& e) {
            return "at most " + std::to_string(e.limit) + " cards fit here, but " +
                   std::to_string(e.written) + " were written";
          },
      },
      value);
}

std::string NotationError::text() const {
  return kind.message() + " (at byte " + std::to_string(start) + ")";
}

std::string NotationError::underline(std::string_view text) const {
  std::string out(text);
  out += '\n';
  out.append(start, ' ');
  out.append(std::max<std::size_t>(length, 1), '^');
  out += '\n';
  out += kind.message();
  return out;
}

}  // namespace vantor
