// The process-wide worker pool that runs the parallel loops of equity batches.
//
// A loop is `count` tasks numbered 0 .. count-1. Workers claim the next
// unclaimed index and run the task, which leaves its output in one of WINDOW
// slots owned by the loop; the thread that called `run_ordered` takes the
// outputs back strictly in index order. A task is only handed out while it is
// fewer than WINDOW indices ahead of the next one to take, so a loop needs
// bounded memory whatever its count, and the order of taking (hence any sum
// formed from it) never depends on the pool's size or on scheduling.
//
//   struct Squares : OrderedLoop {
//     std::array<std::uint64_t, WINDOW> out; std::uint64_t total = 0;
//     Outcome run(std::uint64_t i, std::size_t slot, const std::atomic<bool>&) override {
//       out[slot] = i * i; return Ok{};
//     }
//     void take(std::uint64_t, std::size_t slot) override { total += out[slot]; }
//   } loop;
//   Result<LoopEnd> end = run_ordered(1000, loop);
//
// The pool is created on first use, with one worker per logical CPU, and lives
// until the process ends. Several threads may run loops at once. In a child
// made by fork() the parent's pool is forgotten (its threads do not exist
// there) and a fresh one is made on the child's first loop.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "error/error.h"

namespace vantor {

// Outputs a loop keeps between running and taking, and so the furthest a
// worker may run ahead of the taking thread.
inline constexpr std::size_t WINDOW = 16;

class OrderedLoop {
 public:
  // Runs task `index` on a worker, leaving its output in `slot` (< WINDOW).
  // `stop` turns true when the loop is ending early; a task may then return
  // at once with anything, since its output is no longer taken. An error ends
  // the loop: the first error in time is the loop's.
  virtual Outcome run(std::uint64_t index, std::size_t slot, const std::atomic<bool>& stop) = 0;
  // Consumes the output of task `index` from `slot`, on the calling thread,
  // in index order.
  virtual void take(std::uint64_t index, std::size_t slot) = 0;

 protected:
  ~OrderedLoop() = default;
};

// Asked every WAIT_SLICE while the calling thread waits; true ends the loop
// early (how a caller turns an interrupt into a prompt return).
using Interrupt = std::function<bool()>;
inline constexpr unsigned WAIT_SLICE_MS = 25;

enum class LoopEnd {
  Completed,  // every task ran and was taken
  Stopped,    // `stop` or `interrupted` ended it early; what was taken is partial
};

// Runs tasks 0 .. count-1 of `loop` on the pool and takes their outputs in
// order; blocks until every task it handed out has returned. A task's error
// is returned once no task of the loop runs any more. An exception thrown by
// a task is rethrown here, on the calling thread.
Result<LoopEnd> run_ordered(std::uint64_t count, OrderedLoop& loop,
                            const std::atomic<bool>* stop = nullptr,
                            const Interrupt& interrupted = {});

// Workers in the pool (creating it if need be): one per logical CPU
// available to the process.
std::size_t pool_size();

namespace detail {
struct Doomed {
  virtual ~Doomed() = default;
};
template <class T>
struct DoomedValue final : Doomed {
  explicit DoomedValue(T v) : value(std::move(v)) {}
  T value;
};
// Destroys `doomed` on a thread started for it, or here when none starts.
void destroy_detached(std::unique_ptr<Doomed> doomed);
}  // namespace detail

// Frees `value` on a thread of its own: work abandoned at an interrupt may
// hold millions of small blocks, and freeing them should not delay the
// answer to the interrupt. Frees it at once when no thread can be started.
template <class T>
void free_later(T value) {
  detail::destroy_detached(std::make_unique<detail::DoomedValue<T>>(std::move(value)));
}

}  // namespace vantor
