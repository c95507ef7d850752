// Several independent xoshiro256++ streams advanced together, for a worker
// that runs several chunks at once: one vector step advances every stream
// (eight in AVX-512 lanes, four per AVX2 register, one by one otherwise).
// Each stream stays its own serial sequence: it hands out its upper halves
// in exactly the order `Rng::next_u32` would, a block at a time.
//
//   RngLanes lanes;
//   lanes.add(Rng::seed_from_u64(seed));       // stream 0
//   lanes.next_block(0, out);                   // out[i]: what next_u32 gives
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

  // The next BLOCK upper halves of stream `lane`, into `out`.
  void next_block(unsigned lane, std::uint32_t* out) {
    if (fill_[lane] == 0) [[unlikely]]
      refill();
    const std::uint32_t* block = held_[lane][head_[lane]].data();
    for (unsigned i = 0; i < BLOCK; ++i) out[i] = block[i];
    head_[lane] = (head_[lane] + 1) % DEPTH;
    --fill_[lane];
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
  std::array<std::array<std::array<std::uint32_t, BLOCK>, DEPTH>, LANES> held_;
};

}  // namespace vantor
