// The fields of a built request, the same for every game: one record per
// seat and one for the board, the dealing order, and the choice between slot
// and weighted dealing. Dealing (odds/deal.h) reads them; `EquityRequest<V>`
// (odds/request.h) builds them.
//
//   for (const std::size_t t : request.order) use(request.entry(t).samplers);
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
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
  // dealing needs but the dealing method (`prepare_dealing`, odds/deal.h, adds
  // it); the first failing check is the error. `halted` is asked every few
  // milliseconds of work; once it answers true the build ends, answering
  // nothing: whoever asked is abandoning the question.
  [[nodiscard]] static Result<std::optional<RequestData>> build(
      const TableRules& rules, std::vector<HandSpec> seats, std::span<const CardSet> board,
      CardSet dead, const std::function<bool()>& halted = {});
};

}  // namespace vantor
