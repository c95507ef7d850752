// One checked, pre-digested equity question for one game.
//
// A request is built once per call, from card masks or from text, and then
// only read, by any number of dealing threads at once: it holds a sampler per
// holding, the dealing order, the cards each seat certainly holds, shape plans
// with their log counts and the choice between slot and weighted dealing.
//
//   std::string_view hands[] = {"AhKh", "QsQd"};
//   auto request = EquityRequest<Holdem>::from_text(hands, "Kd 7c 2h", "");
//   if (!request) return request.error();        // exact user-facing text
//   request->order;                               // seats and board, most constrained first
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "notation/hand_spec.h"
#include "odds/deal.h"  // prepare_dealing
#include "odds/request_data.h"
#include "odds/variant_rules.h"

namespace vantor {

// Hand, board and dead-card fields read with a game's notation rules.
struct ParsedSpot {
  std::vector<HandSpec> seats;
  std::vector<CardSet> board;
  CardSet dead;
};

// Reads every hand field in seat order, then the board, then the dead cards;
// the first notation error is returned (as the equity error carrying it).
// Once `halted` answers true it ends early with a meaningless answer.
[[nodiscard]] Result<ParsedSpot> parse_spot(const TableRules& rules,
                                            std::span<const std::string_view> hands,
                                            std::string_view board, std::string_view dead,
                                            const std::function<bool()>& halted = {});

struct PinnedSpot {
  std::vector<HandSpec> seats;
  std::vector<CardSet> board;
};

// For games where suits never matter: gives every "any card of rank r" slot a
// concrete free card of that rank (lowest suit first), so that samplers see
// named cards. Only sound while no slot anywhere tells suits apart, so it
// answers nothing unless every seat has one holding and every slot of every
// seat and of the board is one card, one whole rank or the whole deck; also
// nothing when some rank runs out of free cards.
[[nodiscard]] std::optional<PinnedSpot> pin_open_suits(std::span<const HandSpec> seats,
                                                       std::span<const CardSet> board,
                                                       CardSet live);

template <class V>
class EquityRequest : public RequestData {
 public:
  using Variant = V;

  // Seats as holdings of slot-set masks, the board as slot sets, dead cards.
  [[nodiscard]] static Result<EquityRequest> from_masks(std::span<const HandSpec> seats,
                                                        std::span<const CardSet> board,
                                                        CardSet dead) {
    auto data = RequestData::build(table_rules<V>(seats.size()),
                                   std::vector<HandSpec>(seats.begin(), seats.end()), board, dead);
    return never_halted(finish(std::move(data), {}));
  }

  // One text field per seat, the board text and the dead-card text.
  [[nodiscard]] static Result<EquityRequest> from_text(std::span<const std::string_view> hands,
                                                       std::string_view board,
                                                       std::string_view dead) {
    auto spot = parse_spot(table_rules<V>(hands.size()), hands, board, dead);
    if (!spot) return std::move(spot).error();
    auto data = RequestData::build(table_rules<V>(hands.size()), std::move(spot->seats),
                                   spot->board, spot->dead);
    return never_halted(finish(std::move(data), {}));
  }

  // The same two, giving up (answering nothing) once `halted`, asked every
  // few milliseconds, answers true. The seats are taken over, not copied.
  [[nodiscard]] static Result<std::optional<EquityRequest>> from_masks(
      std::vector<HandSpec> seats, std::span<const CardSet> board, CardSet dead,
      const std::function<bool()>& halted) {
    const std::size_t n = seats.size();
    return finish(RequestData::build(table_rules<V>(n), std::move(seats), board, dead, halted),
                  halted);
  }
  [[nodiscard]] static Result<std::optional<EquityRequest>> from_text(
      std::span<const std::string_view> hands, std::string_view board, std::string_view dead,
      const std::function<bool()>& halted) {
    auto spot = parse_spot(table_rules<V>(hands.size()), hands, board, dead, halted);
    if (halted()) return std::optional<EquityRequest>();
    if (!spot) return std::move(spot).error();
    return from_masks(std::move(spot->seats), spot->board, spot->dead, halted);
  }

 private:
  explicit EquityRequest(RequestData&& data) : RequestData(std::move(data)) {}

  // A built request with its dealing method chosen.
  static Result<std::optional<EquityRequest>> finish(Result<std::optional<RequestData>> data,
                                                     const std::function<bool()>& halted) {
    if (!data) return std::move(data).error();
    if (!*data) return std::optional<EquityRequest>();
    std::optional<RequestData> ready = prepare_dealing(std::move(**data), halted);
    if (!ready) return std::optional<EquityRequest>();
    return std::optional(EquityRequest(std::move(*ready)));
  }
  static Result<EquityRequest> never_halted(Result<std::optional<EquityRequest>> request) {
    if (!request) return std::move(request).error();
    return std::move(**request);
  }
};

}  // namespace vantor
