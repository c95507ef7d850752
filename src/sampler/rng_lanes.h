// Several independent xoshiro256++ streams advanced together, for a worker
// that runs several chunks at once: one vector step advances every stream
// (eight in AVX-512 lanes, four per AVX2 register, one by one otherwise).
// Each stream stays its own serial sequence: it hands out its upper halves
// in exactly the order `Rng::next_u32` would, a block at a time.
//
//   RngLanes lanes;
//   lanes.add(Rng::seed_from_u64(seed));       // stream 0
//   const std::uint32_t* b = lanes.take_block(0);  // b[i]: what next_u32 gives
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sampler/acceptance.h"  // ACCEPTANCE_BLOCK
#include "sampler/rng.h"

namespace vantor {

class RngLanes {
 public:
  static constexpr unsigned LANES = 8;
  static constexpr unsigned BLOCK = ACCEPTANCE_BLOCK;
  // Blocks each stream holds ahead.
  static constexpr unsigned DEPTH = 16;
  // Blocks handed out that stay readable (see `take_block`).
  static constexpr unsigned KEPT = 4;

  // Advances the streams in the `active` bit set BLOCK steps, leaving the
  // others as they are, and writes the upper halves of lane l's outputs to
  // to[l][0 .. BLOCK - 1] (inactive lanes: to scratch space or nowhere).
  using Kernel = void (*)(std::uint64_t (&state)[4][LANES], unsigned active,
                          std::uint32_t* const (&to)[LANES]);

  // With the fastest kernel this processor has (or one of `kernels()`).
  RngLanes();
  explicit RngLanes(Kernel kernel) : kernel_(kernel) {}

  // A new stream (at most LANES), continuing `rng` from where it stands.
  void add(const Rng& rng);
  unsigned size() const { return size_; }

  // The next BLOCK upper halves of stream `lane`, read in place: they stay
  // as they are until the lane has handed out KEPT more blocks, and the
  // block after this one (once handed out) follows it in memory, so that a
  // reader may hold the last KEPT blocks and read two of them on as one.
  const std::uint32_t* take_block(unsigned lane) {
    if (fill_[lane] == 0) [[unlikely]]
      refill();
    const std::uint32_t* block = held_[lane].data() + head_[lane] * BLOCK;
    head_[lane] = head_[lane] + 1 == RING ? 0 : head_[lane] + 1;
    --fill_[lane];
    return block;
  }

  // Tops every stream up to DEPTH blocks: called before each stream draws
  // a batch's worth (fewer than DEPTH blocks), so that refills serve every
  // stream at once rather than one whose turn came.
  void top_up() { refill(); }

  // Every kernel this processor can run, the plain one first.
  static std::vector<Kernel> kernels();

 private:
  // Tops every stream up to DEPTH blocks.
  void refill();

  Kernel kernel_;
  unsigned size_ = 0;
  alignas(64) std::uint64_t state_[4][LANES] = {};
  std::array<std::uint32_t, BLOCK> scratch_;  // where inactive lanes write
  std::array<unsigned, LANES> head_{}, fill_{};
  // Per stream a ring of blocks (those ahead and the KEPT handed out last),
  // its first block repeated after its end.
  static constexpr unsigned RING = DEPTH + KEPT;
  std::array<std::array<std::uint32_t, (RING + 1) * BLOCK>, LANES> held_;
};

}  // namespace vantor
