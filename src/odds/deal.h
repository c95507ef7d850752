// Dealing from a request: the feasibility test, the two ways of drawing one
// random complete deal, and the once-per-request choice between them.
//
// Slot dealing picks a holding per seat uniformly and lets its sampler fill
// it, rejecting deals that run out of cards. Weighted dealing draws each
// holding among the card sets still possible and returns an importance
// weight that undoes the bias of dealing in order.
//
//   Rng rng = Rng::seed_from_u64(seed);
//   std::vector<std::vector<Card>> seats;  std::vector<Card> board;  WeighingScratch scratch;
//   if (request.weighted) { if (auto w = deal_weighted(request, rng, seats, board, scratch)) ... }
//   else if (deal(request, rng, seats, board)) ...
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "notation/hand_spec.h"
#include "odds/request.h"
#include "sampler/rng.h"
#include "sampler/shape.h"

namespace vantor {

// Fails with "No deal can satisfy the hands, board and dead cards together"
// when the slots of all seats (merged position by position over each seat's
// holdings) and of the board cannot all get distinct live cards. A necessary
// condition only: a spot it accepts may still have no single fitting deal.
[[nodiscard]] Outcome check_feasible(std::span<const HandSpec> seats,
                                     std::span<const CardSet> board, CardSet live);

namespace detail {

// The cards entry t may take: available ones not certainly held by another entry.
inline CardSet allowed_for(const RequestData& r, std::size_t t, CardSet available) {
  return available & (r.fixed[t] | (CardSet::full_deck() - r.fixed_all));
}

inline void remove_dealt(CardSet& available, std::span<const Card> cards) {
  for (Card c : cards) available.remove(c);
}

inline void fit_targets(const RequestData& r, std::vector<std::vector<Card>>& seats) {
  if (seats.size() != r.seat_count) [[unlikely]]
    seats.resize(r.seat_count);
}

}  // namespace detail

// Slot dealing, for any game: false when this attempt is rejected.
inline bool slot_deal(const RequestData& r, Rng& rng, std::vector<std::vector<Card>>& seats,
                      std::vector<Card>& board) {
  detail::fit_targets(r, seats);
  board.clear();
  CardSet available = r.live;
  for (const std::size_t t : r.order) {
    std::vector<Card>* target;
    if (t < r.seat_count) {
      const auto& holdings = r.samplers[t];
      // Drawn even for a single holding: seeded streams depend on it.
      const std::size_t index = rng.below64(holdings.size());
      target = &seats[t];
      if (!holdings[index].draw(detail::allowed_for(r, t, available), rng, *target)) return false;
    } else {
      if (r.board_slots == 0) continue;
      target = &board;
      if (!r.board_sampler.draw(detail::allowed_for(r, t, available), rng, board)) return false;
    }
    detail::remove_dealt(available, *target);
  }
  return true;
}

// Weighted dealing, for any game: the deal's weight, or nothing when this
// attempt is rejected. The weight is the product over entries of (card sets
// of the chosen holding still possible when it is dealt) / (its card sets
// with nothing dealt).
inline std::optional<double> weighted_deal(const RequestData& r, Rng& rng,
                                           std::vector<std::vector<Card>>& seats,
                                           std::vector<Card>& board, WeighingScratch& scratch) {
  detail::fit_targets(r, seats);
  board.clear();
  CardSet available = r.live;
  double log_sum = 0.0;
  for (const std::size_t t : r.order) {
    const bool is_board = t == r.seat_count;
    if (is_board && r.board_slots == 0) continue;
    const std::size_t choices = r.slots[t].size();
    const std::size_t index = choices > 1 ? rng.below64(choices) : 0;
    const std::optional<ShapePlan>& plan = r.plans[t][index];
    if (!plan) return std::nullopt;
    const u128 count = plan->weigh(detail::allowed_for(r, t, available), scratch);
    if (count == 0) return std::nullopt;
    log_sum += std::log(static_cast<double>(count)) - r.log_weights[t][index];
    std::vector<Card>& target = is_board ? board : seats[t];
    target.clear();
    plan->draw_from(scratch.classes, scratch.cumulative, count, rng, target);
    detail::remove_dealt(available, target);
  }
  return std::exp(log_sum);
}

// The seed of the private trial that chooses the dealing method.
inline constexpr std::uint64_t DEALING_TRIAL_SEED = 0x5EEDCA11;

// True when weighted dealing should be used: slot dealing accepts under 5% of
// its trial deals and weighted dealing's effective sample size per attempt
// beats 1.5 times that rate. Depends on the request only.
[[nodiscard]] bool pick_weighted(const RequestData& r);

template <class V>
bool deal(const EquityRequest<V>& request, Rng& rng, std::vector<std::vector<Card>>& seats,
          std::vector<Card>& board) {
  return slot_deal(request, rng, seats, board);
}

template <class V>
std::optional<double> deal_weighted(const EquityRequest<V>& request, Rng& rng,
                                    std::vector<std::vector<Card>>& seats,
                                    std::vector<Card>& board, WeighingScratch& scratch) {
  return weighted_deal(request, rng, seats, board, scratch);
}

template <class V>
bool choose_dealing(const EquityRequest<V>& request) {
  return pick_weighted(request);
}

}  // namespace vantor
