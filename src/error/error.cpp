#include "error/error.h"

#include "cards/text.h"  // utf8_of

namespace vantor {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string num(std::uint64_t v) { return std::to_string(v); }

}  // namespace

std::string CardError::text() const {
  return std::visit(
      Overloaded{
          [](const Malformed& e) { return e.text; },
          [](const InvalidRank& e) { return "Invalid rank character: " + utf8_of(e.character); },
          [](const InvalidSuit& e) { return "Invalid suit character: " + utf8_of(e.character); },
          [](const TooManyCards& e) { return "Too many cards in Vec: " + num(e.count); },
      },
      value);
}

std::string GameError::text() const {
  return std::visit(
      Overloaded{
          [](const DuplicateCard& e) { return "Found duplicated card: " + e.card.text(); },
          [](const NotInDeck& e) { return e.card.text() + " is not in this game's deck"; },
      },
      value);
}

std::string EquityError::text() const {
  return std::visit(
      Overloaded{
          [](const TooFewSeats&) {
            return std::string("a spot needs at least two seats to have an answer");
          },
          [](const NotEnoughCards& e) { return "Not enough cards in hand: " + num(e.count); },
          [](const MixedHandSizes&) { return std::string("Starting hands with different sizes"); },
          [](const BoardSize& e) { return "Invalid number of community cards: " + num(e.count); },
          [](const UnseenBoard& e) {
            return "this game turns " + num(e.turned) + " board card" +
                   (e.turned == 1 ? "" : "s") + " face up before the betting, so a board of " +
                   num(e.given) +
                   " is not a spot that occurs; write `*` for a card that has been dealt and "
                   "not yet seen";
          },
          [](const SamplingStalled& e) {
            return "gave up after " + num(e.draws) + " draws, of which only " + num(e.used) +
                   " could be used. The request is satisfiable -- that was settled before any "
                   "card was dealt -- but the seats want the same cards too often for sampling "
                   "to keep up, so this is a limit of the engine rather than of the question. "
                   "Naming more of the cards is what loosens it";
          },
          [](const TooManySeats& e) {
            return num(e.players) + " players is more than this game can deal; the deck seats " +
                   num(e.seats);
          },
          [](const Infeasible& e) { return "No deal can satisfy " + e.what; },
          [](const Notation& e) { return e.error.text(); },
      },
      value);
}

std::string PokerError::text() const {
  return std::visit([](const auto& e) { return e.text(); }, value);
}

}  // namespace vantor
