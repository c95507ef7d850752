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
#include "odds/variant_rules.h"
#include "sampler/draw.h"
#include "sampler/shape.h"

namespace vantor {

// How dealing picks one entry's holding. Picking a holding uniformly and
// filling it from the cards left deals every feasible deal alike only when
// each holding offers its card sets with the same chance whatever was dealt
// before; an entry where that fails picks holdings in proportion to their
// card sets instead, so that Monte Carlo samples what the exact walk counts.
struct EntryPick {
  // Slot dealing picks by `counts`, draws the holding's cards among all the
  // entry's allowed cards and rejects the deal when one was dealt already.
  bool slots_by_count = false;
  // Weighted dealing picks by `counts` (its weights then divide by the
  // chosen holding's own count).
  bool weighted_by_count = false;
  // Running sums over the holdings of the card sets each can draw.
  std::vector<u128> counts;
};

// One entry of a deal, a seat or the board, and everything dealing needs of
// it. A seat lists its holdings (alternatives); the board has exactly one,
// its slots padded to the game's board size. Vectors are per holding.
struct RequestEntry {
  std::vector<Holding> holdings;                // normalised
  std::vector<SlotSampler> samplers;            // prepared with the request's `live`
  // The entry's first holding equal to each one (its own index if none
  // comes before it). Equal holdings share their samplers' and plans'
  // tables, so a seat written as many copies costs one.
  std::vector<std::uint32_t> alike;
  std::vector<std::optional<ShapePlan>> plans;
  // ln(plan total), NaN without a plan, 0 for an empty holding; raised for
  // a holding that loses more of its card sets to other entries' named cards
  // than the entry's other holdings do, unless weighted dealing picks by count.
  std::vector<double> log_weights;
  CardSet fixed;                                // cards held in every holding (board: named cards)
  EntryPick pick;
};

// The fields of a request; the same for every game, so that building and
// dealing are compiled once. `EquityRequest<V>` adds the game. Read-only once
// built. An entry index t names seat t below `seat_count` and the board at it.
class RequestData {
 public:
  std::vector<RequestEntry> seats;
  RequestEntry board;
  std::size_t seat_count = 0;      // seats.size()
  std::size_t board_slots = 0;     // board slot sets after padding
  CardSet live;                    // the game's deck without the dead cards
  CardSet fixed_all;               // union of every entry's `fixed`
  std::size_t threads = 1;         // the default thread count when the request was built
  std::vector<std::size_t> order;  // dealing order over the entries, most constrained first
  bool plain_slots = true;         // no entry picks by count: every holding drawn as it always was
  bool weighted = false;           // Monte Carlo deals use `deal_weighted` rather than `deal`

  const RequestEntry& entry(std::size_t t) const { return t < seat_count ? seats[t] : board; }
  RequestEntry& entry(std::size_t t) { return t < seat_count ? seats[t] : board; }

  // True when every seat names all its cards in a single holding and every
  // board slot is a named card or open to any card: nothing to choose
  // between, and no deal can be rejected.
  bool names_every_seat() const;

  // Card sets the samplers of one request list in all; past this, further
  // constrained holdings draw from their shape plans instead, so memory
  // does not grow with the number of distinct holdings times their lists.
  static constexpr std::uint64_t LISTING_BUDGET = 4'000'000;

  // Checks the question under one game's rules and prepares everything
  // dealing needs; the first failing check is the error. `halted` is asked
  // every few milliseconds of work; once it answers true the build ends,
  // answering nothing: whoever asked is abandoning the question.
  [[nodiscard]] static Result<std::optional<RequestData>> build(
      const TableRules& rules, std::vector<HandSpec> seats, std::span<const CardSet> board,
      CardSet dead, const std::function<bool()>& halted = {});
};

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
    if (!data) return std::move(data).error();
    return EquityRequest(std::move(**data));
  }

  // One text field per seat, the board text and the dead-card text.
  [[nodiscard]] static Result<EquityRequest> from_text(std::span<const std::string_view> hands,
                                                       std::string_view board,
                                                       std::string_view dead) {
    auto spot = parse_spot(table_rules<V>(hands.size()), hands, board, dead);
    if (!spot) return std::move(spot).error();
    auto data = RequestData::build(table_rules<V>(hands.size()), std::move(spot->seats),
                                   spot->board, spot->dead);
    if (!data) return std::move(data).error();
    return EquityRequest(std::move(**data));
  }

  // The same two, giving up (answering nothing) once `halted`, asked every
  // few milliseconds, answers true. The seats are taken over, not copied.
  [[nodiscard]] static Result<std::optional<EquityRequest>> from_masks(
      std::vector<HandSpec> seats, std::span<const CardSet> board, CardSet dead,
      const std::function<bool()>& halted) {
    const std::size_t n = seats.size();
    auto data = RequestData::build(table_rules<V>(n), std::move(seats), board, dead, halted);
    if (!data) return std::move(data).error();
    if (!*data) return std::optional<EquityRequest>();
    return std::optional(EquityRequest(std::move(**data)));
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
};

}  // namespace vantor
