// Dealing from a request: the two ways of drawing one random complete deal,
// and the once-per-request choice between them.
//
// Both deal every feasible deal (one card set per seat, one board) with the
// same chance, as the exact walk counts them. Slot dealing picks a holding
// per seat uniformly and lets its sampler fill it, rejecting deals that run
// out of cards; where holdings differ in size that would favour the small
// ones, so such an entry picks its holding in proportion to its card sets,
// draws them from the entry's whole allowed set and rejects clashes.
// Weighted dealing draws each holding among the card sets still possible and
// returns an importance weight that undoes the bias of dealing in order.
//
//   Rng rng = Rng::seed_from_u64(seed);
//   std::vector<std::vector<Card>> seats;  std::vector<Card> board;  WeighingScratch scratch;
//   if (request.weighted) { if (auto w = deal_weighted(request, rng, seats, board, scratch)) ... }
//   else if (deal(request, rng, seats, board)) ...
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "notation/hand_spec.h"
#include "odds/request_data.h"
#include "sampler/rng.h"
#include "sampler/shape.h"

namespace vantor {

namespace detail {

// The cards entry t may take: available ones not certainly held by another entry.
inline CardSet allowed_for(const RequestData& r, std::size_t t, CardSet available) {
  return available & (r.entry(t).fixed | (CardSet::full_deck() - r.fixed_all));
}

inline void remove_dealt(CardSet& available, std::span<const Card> cards) {
  for (Card c : cards) available.remove(c);
}

// Slot dealing for an entry that picks its holding by count: the holding in
// proportion to its card sets, the cards uniform among them over the entry's
// allowed cards, false when one of them is no longer `available`.
bool draw_by_count(const RequestData& r, std::size_t t, CardSet available, Rng& rng,
                   std::vector<Card>& out);

// A holding index in proportion to the counts (running sums, last > 0).
std::size_t pick_by_count(std::span<const u128> counts, Rng& rng);

inline void fit_targets(const RequestData& r, std::vector<std::vector<Card>>& seats) {
  if (seats.size() != r.seat_count) [[unlikely]]
    seats.resize(r.seat_count);
}

}  // namespace detail

// Slot dealing, for any game: false when this attempt is rejected.
inline bool deal(const RequestData& r, Rng& rng, std::vector<std::vector<Card>>& seats,
                      std::vector<Card>& board) {
  detail::fit_targets(r, seats);
  board.clear();
  CardSet available = r.live;
  for (const std::size_t t : r.order) {
    const bool is_board = t == r.seat_count;
    if (is_board && r.board_slots == 0) continue;
    const RequestEntry& e = r.entry(t);
    std::vector<Card>& target = is_board ? board : seats[t];
    if (e.pick.slots_by_count) [[unlikely]] {
      if (!detail::draw_by_count(r, t, available, rng, target)) return false;
    } else {
      // A seat's pick is drawn even for a single holding: seeded streams
      // depend on it. The board has one holding and no pick.
      const std::size_t index = is_board ? 0 : rng.below64(e.samplers.size());
      if (!e.samplers[index].draw(detail::allowed_for(r, t, available), rng, target)) return false;
    }
    detail::remove_dealt(available, target);
  }
  return true;
}

// Weighted dealing, for any game: the deal's weight, or nothing when this
// attempt is rejected. The weight is the product over entries of (card sets
// of the chosen holding still possible when it is dealt) / (its card sets
// with nothing dealt).
inline std::optional<double> deal_weighted(const RequestData& r, Rng& rng,
                                           std::vector<std::vector<Card>>& seats,
                                           std::vector<Card>& board, WeighingScratch& scratch) {
  detail::fit_targets(r, seats);
  board.clear();
  CardSet available = r.live;
  double log_sum = 0.0;
  for (const std::size_t t : r.order) {
    const bool is_board = t == r.seat_count;
    if (is_board && r.board_slots == 0) continue;
    const RequestEntry& e = r.entry(t);
    std::size_t index = 0;
    if (e.pick.weighted_by_count) {
      if (e.pick.counts.back() == 0) return std::nullopt;
      index = detail::pick_by_count(e.pick.counts, rng);
    } else if (e.holdings.size() > 1) {
      index = rng.below64(e.holdings.size());
    }
    const std::optional<ShapePlan>& plan = e.plans[index];
    if (!plan) return std::nullopt;
    const u128 count = plan->weigh(detail::allowed_for(r, t, available), scratch);
    if (count == 0) return std::nullopt;
    log_sum += std::log(static_cast<double>(count)) - e.log_weights[index];
    std::vector<Card>& target = is_board ? board : seats[t];
    target.clear();
    plan->draw_from(scratch.classes, scratch.cumulative, count, rng, target);
    detail::remove_dealt(available, target);
  }
  return std::exp(log_sum);
}

// The card buffers of a dealer that deals into fixed arrays: `slots` deals
// side by side, each with seat i's cards at i * STRIDE and the board's after
// the seats. Every deal of one request gives each entry the same count.
class DealtCards {
 public:
  // Cards each entry's buffer holds at most (no game deals more to one seat).
  static constexpr std::size_t STRIDE = 16;

  DealtCards() = default;
  DealtCards(std::size_t seats, std::size_t slots)
      : seat_count_(seats),
        slot_size_((seats + 1) * STRIDE),
        cards_(slot_size_ * slots, Card()),
        sizes_(seats + 1, 0) {}

  std::size_t seat_count() const { return seat_count_; }
  Card* slot(std::size_t j) { return cards_.data() + j * slot_size_; }
  const Card* slot(std::size_t j) const { return cards_.data() + j * slot_size_; }

  // Cards dealt to entry i (a seat, or the board at the seat count).
  std::size_t size(std::size_t entry) const { return sizes_[entry]; }
  void set_size(std::size_t entry, std::size_t n) { sizes_[entry] = static_cast<std::uint8_t>(n); }
  // Seat i's hole cards and the board of deal j.
  std::span<const Card> hole(std::size_t seat, std::size_t j = 0) const {
    return {slot(j) + seat * STRIDE, sizes_[seat]};
  }
  std::span<const Card> board(std::size_t j = 0) const {
    return {slot(j) + seat_count_ * STRIDE, sizes_[seat_count_]};
  }
  // Entries whose cards are the same in every slot (bit i: entry i), marked
  // by the dealer that knows it, so that scoring may sum them once a batch.
  std::uint64_t same_entries() const { return same_; }
  void set_same(std::size_t entry) { same_ |= std::uint64_t{1} << entry; }
  // Whether a mask dealer can deal this sampler's holding: named cards and
  // slots open to any card, no more than a buffer holds.
  static bool fits(const SlotSampler& s) {
    return s.mode() == SamplerMode::Free && s.forced().size() + s.open_count() <= STRIDE;
  }

  // True when every seat is dealt `hole` cards and the board `board` cards.
  bool shaped(std::size_t hole, std::size_t board) const {
    for (std::size_t i = 0; i < seat_count_; ++i)
      if (sizes_[i] != hole) return false;
    return sizes_[seat_count_] == board;
  }

 private:
  std::size_t seat_count_ = 0;
  std::size_t slot_size_ = 0;
  std::vector<Card> cards_;
  std::vector<std::uint8_t> sizes_;
  std::uint64_t same_ = 0;
};

// Slot dealing reduced to card masks, for requests in which every sampler
// (each seat holding's and the board's) is in `Free` mode, named cards plus
// slots open to any card, and no entry picks its holding by count. It makes
// exactly the draws of `deal`, in the same order and with the same widths,
// and accepts and rejects the same deals, but keeps the generator in
// registers, writes cards into fixed buffers and runs branch-light. Built
// once per chunk.
//
//   auto quick = QuickDealer::of(request);          // nullopt: use deal
//   if (quick->deal<PortableSelect>(rng)) use(quick->cards().hole(seat));
class QuickDealer {
 public:
  static constexpr std::size_t STRIDE = DealtCards::STRIDE;

  static std::optional<QuickDealer> of(const RequestData& r);

  // One slot deal: false when the attempt is rejected (the generator has
  // then advanced exactly as `deal` would advance it).
  template <class Select>
  bool deal(Rng& rng) {
    Rng g = rng;  // a local copy stays in registers; card stores cannot alias it
    std::uint64_t available = live_;
    Card* const out = cards_.slot(0);
    bool ok = true;
    for (const Entry& e : entries_) {
      std::uint64_t index = 0;
      if (e.choices == 1) {
        // A constant bound lets the draw below 1 fold to a test of the top bit.
        g.below64_in_zone(1, rejection_zone(std::uint64_t{1}));
      } else if (e.choices != 0) {
        index = g.below64_in_zone(e.choices, e.zone);
      }
      const Holding& h = holdings_[e.first + index];
      std::uint64_t allowed = available & e.allowed;
      if ((h.forced & ~allowed) != 0) {
        ok = false;
        break;
      }
      allowed &= ~h.forced;
      available &= ~h.forced;
      Card* const dst = out + e.target * STRIDE + h.forced_count;
      std::memcpy(dst - h.forced_count, h.cards.data(), STRIDE);
      if (h.open == 0) continue;
      // The count runs down beside the mask, off its dependency chain.
      auto count = static_cast<std::uint32_t>(std::popcount(allowed));
      if (count < h.open) [[unlikely]] {
        // The cards run out after `count` draws.
        for (; count != 0; --count) allowed &= ~Select::nth_bit(CardSet(allowed), g.below32(count));
        ok = false;
        break;
      }
      for (unsigned j = 0; j < h.open; ++j, --count) {
        const std::uint32_t pick = g.below32_in_zone(count, CARD_ZONES[count]);
        const std::uint64_t bit = Select::nth_bit(CardSet(allowed), pick);
        allowed &= ~bit;
        available &= ~bit;
        dst[j] = Card(static_cast<unsigned>(std::countr_zero(bit)));
      }
    }
    rng = g;
    return ok;
  }

  // The cards of the last accepted deal.
  const DealtCards& cards() const { return cards_; }

 private:
  struct Entry {
    std::uint64_t allowed;  // cards not certainly held by another entry
    std::uint64_t choices;  // holdings to pick from; 0 for the board (no pick)
    std::uint64_t zone;     // rejection_zone(choices)
    std::uint32_t first;    // the entry's first holding in `holdings_`
    std::uint32_t target;   // seat index, or the seat count for the board
  };
  struct Holding {
    std::uint64_t forced = 0;          // the named cards as a mask
    std::array<Card, STRIDE> cards{};  // the named cards in the sampler's order
    std::uint32_t forced_count = 0;
    std::uint32_t open = 0;            // cards drawn from any allowed card
  };

  std::uint64_t live_ = 0;
  std::vector<Entry> entries_;
  std::vector<Holding> holdings_;
  DealtCards cards_;
};

// Decides, per entry, whether slot dealing and weighted dealing pick the
// holding by count, and fills the counts where either does; called once the
// plans and log weights are built.
void assign_picks(RequestData& r);

// The last step of building a request: `assign_picks`, then `choose_dealing`.
// Nothing once `halted` answers true between them (what was built is then
// freed off this thread).
[[nodiscard]] std::optional<RequestData> prepare_dealing(RequestData r,
                                                         const std::function<bool()>& halted);

// The seed of the private trial that chooses the dealing method.
inline constexpr std::uint64_t DEALING_TRIAL_SEED = 0x5EEDCA11;

// True when weighted dealing should be used: slot dealing accepts under 5% of
// its trial deals and weighted dealing's effective sample size per attempt
// beats 1.5 times that rate. Depends on the request only.
// A request that names every seat's cards never rejects a slot deal, so it
// is answered without trials.
[[nodiscard]] bool choose_dealing(const RequestData& r);

// The trials themselves, whatever the request.
[[nodiscard]] bool weighted_by_trials(const RequestData& r);

}  // namespace vantor
