// Slot dealing with a fixed schedule of draws, for the commonest requests:
// every seat has one holding of named cards and open slots, and the board is
// named cards and open slots. Then every draw's count is known before the
// deal (the open cards all come from one pool that shrinks by one per draw),
// so the dealer can judge blocks of generator outputs for acceptance with
// vector instructions and find each draw's accepted output by a bit scan,
// with no branch per rejected output. It consumes exactly the outputs
// `slot_deal` consumes, makes the same decisions and deals the same cards;
// every deal is accepted.
//
//   auto dealer = ScheduledDealer::of(request);    // nullopt: use QuickDealer
//   dealer->deal<PortableSelect>(rng);              // reads rng ahead in blocks
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cards/card.h"
#include "odds/deal.h"
#include "odds/request.h"
#include "sampler/acceptance.h"
#include "sampler/rng.h"

namespace vantor {

class ScheduledDealer {
 public:
  static constexpr std::size_t STRIDE = QuickDealer::STRIDE;

  // Nothing when the request does not fit the schedule or vector acceptance
  // is unavailable here.
  static std::optional<ScheduledDealer> of(const RequestData& r);

  // One deal (always accepted). The dealer reads `rng` up to a window ahead,
  // so the same generator must serve every deal of the chunk and nothing else.
  template <class Select>
  bool deal(Rng& rng) {
    std::uint64_t pool = pool_;
    unsigned pos = pos_;
    Card* const out = cards_.data();
    for (const Step s : steps_) {
      if (pos >= ACCEPTANCE_BLOCK) [[unlikely]]
        pos = slide(rng, pos);
      std::uint64_t kept = masks_[s.count] & (~std::uint64_t{0} << pos);
      // Every output left in the window rejected: take the next block.
      while (kept == 0) [[unlikely]] {
        pos = slide(rng, WINDOW);
        kept = masks_[s.count] & (~std::uint64_t{0} << pos);
      }
      const auto at = static_cast<unsigned>(std::countr_zero(kept));
      pos = at + 1;
      if (s.slot == PICK) continue;
      const auto index = static_cast<unsigned>((std::uint64_t{highs_[at]} * s.count) >> 32);
      const std::uint64_t bit = Select::nth_bit(CardSet(pool), index);
      pool &= ~bit;
      out[s.slot] = Card(static_cast<unsigned>(std::countr_zero(bit)));
    }
    pos_ = pos;
    return true;
  }

  std::span<const Card> hole(std::size_t seat) const {
    return {cards_.data() + seat * STRIDE, sizes_[seat]};
  }
  std::span<const Card> board() const {
    return {cards_.data() + seat_count_ * STRIDE, sizes_[seat_count_]};
  }
  const Card* buffer() const { return cards_.data(); }
  bool shaped(std::size_t hole, std::size_t board) const {
    for (std::size_t i = 0; i < seat_count_; ++i)
      if (sizes_[i] != hole) return false;
    return sizes_[seat_count_] == board;
  }

 private:
  // Outputs held at once: the block being consumed and the one after it.
  static constexpr unsigned WINDOW = 2 * ACCEPTANCE_BLOCK;
  static constexpr std::uint8_t PICK = 0xFF;

  // One draw: the holding pick of a seat (a draw below 1) or an open card.
  struct Step {
    std::uint8_t count;  // the draw is below this
    std::uint8_t slot;   // where its card goes in `cards_`; PICK for a pick
  };

  // Drops the older block, draws the next one and judges it; returns `pos`
  // moved back by one block.
  unsigned slide(Rng& rng, unsigned pos);

  std::uint64_t pool_ = 0;  // the live cards every open slot draws from
  unsigned pos_ = WINDOW;   // first unconsumed output in the window
  std::size_t seat_count_ = 0;
  std::vector<Step> steps_;
  std::vector<std::uint32_t> counts_;       // the distinct counts judged
  std::array<std::uint64_t, 65> masks_{};   // [count]: outputs in the window kept
  std::array<std::uint32_t, WINDOW> highs_{};  // upper halves of the window's outputs
  std::vector<Card> cards_;
  std::vector<std::uint8_t> sizes_;
};

}  // namespace vantor
