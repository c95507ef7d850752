// The batch split, the worker pool's ordering, windows, errors and stops, and
// whole batches against a single chunk.
#include "odds/runner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "variants/variants.h"
#include "test_support.h"

namespace vantor {
namespace {

using namespace vantor::test_support;

using namespace std::chrono_literals;

// --- the split -------------------------------------------------------------

// The obvious stored-list form the computed split must match.
std::vector<ChunkPlan> stored_split(std::uint64_t samples, std::uint64_t seed, std::size_t threads) {
  std::uint64_t n = threads == 0 ? 1 : threads;
  n = std::min<std::uint64_t>(n, std::max<std::uint64_t>(samples, 1));
  std::vector<ChunkPlan> plans;
  for (std::uint64_t i = 0; i < n; ++i)
    plans.push_back({samples / n + (i < samples % n ? 1 : 0),
                     seed * 11400714819323198485ULL + i});
  return plans;
}

TEST(BatchSplit, SizesAndSeeds) {
  const std::uint64_t k = 77ULL * 0x9E3779B97F4A7C15ULL;
  const BatchSplit ten(10, 77, 4);
  ASSERT_EQ(ten.count(), 4u);
  EXPECT_EQ(ten[0], (ChunkPlan{3, k}));
  EXPECT_EQ(ten[1], (ChunkPlan{3, k + 1}));
  EXPECT_EQ(ten[2], (ChunkPlan{2, k + 2}));
  EXPECT_EQ(ten[3], (ChunkPlan{2, k + 3}));

  const BatchSplit three(3, 0, 8);  // never more chunks than samples
  ASSERT_EQ(three.count(), 3u);
  for (std::uint64_t i = 0; i < 3; ++i) EXPECT_EQ(three[i], (ChunkPlan{1, i}));

  for (std::size_t threads : {0u, 1u, 8u}) {  // zero samples: one empty chunk
    const BatchSplit none(0, 5, threads);
    ASSERT_EQ(none.count(), 1u);
    EXPECT_EQ(none[0].samples, 0u);
  }
  EXPECT_EQ(BatchSplit(100, 0, 0).count(), 1u);  // 0 threads is one chunk
  EXPECT_EQ(BatchSplit(100, 1, 3)[0].seed, 0x9E3779B97F4A7C15ULL);
  EXPECT_EQ(BatchSplit(100, 2, 3)[2].seed, 2 * 0x9E3779B97F4A7C15ULL + 2);  // wraps
}

TEST(BatchSplit, MatchesStoredList) {
  std::mt19937_64 gen(12345);
  for (int round = 0; round < 2000; ++round) {
    const std::uint64_t samples = gen() % 200;
    const std::size_t threads = gen() % 40;
    const std::uint64_t seed = gen();
    const BatchSplit split(samples, seed, threads);
    const auto stored = stored_split(samples, seed, threads);
    ASSERT_EQ(split.count(), stored.size());
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < split.count(); ++i) {
      ASSERT_EQ(split[i], stored[i]);
      total += split[i].samples;
    }
    EXPECT_EQ(total, samples);
  }
}

TEST(BatchSplit, HugeCountsCostNothing) {
  const std::uint64_t big = std::uint64_t{1} << 63;
  const BatchSplit split(big + 5, 3, static_cast<std::size_t>(big));
  ASSERT_EQ(split.count(), big);
  EXPECT_EQ(split[4].samples, 2u);
  EXPECT_EQ(split[5].samples, 1u);
  EXPECT_EQ(split[big - 1], (ChunkPlan{1, 3 * 0x9E3779B97F4A7C15ULL + big - 1}));
  const BatchSplit most(~std::uint64_t{0}, 0, ~std::size_t{0});
  EXPECT_EQ(most.count(), ~std::uint64_t{0});
  EXPECT_EQ(most[most.count() - 1].samples, 1u);
}

// --- the pool --------------------------------------------------------------

// Records the order outputs are taken in and how far tasks ran ahead.
struct Recorder final : OrderedLoop {
  std::array<std::uint64_t, WINDOW> out{};
  std::vector<std::uint64_t> taken;
  std::atomic<std::uint64_t> next_take{0};
  std::atomic<std::uint64_t> furthest_ahead{0};
  std::uint64_t fail_at = ~std::uint64_t{0};
  std::atomic<std::uint64_t> runs{0};

  Outcome run(std::uint64_t i, std::size_t slot, const std::atomic<bool>&) override {
    ++runs;
    const std::uint64_t ahead = i - next_take.load();
    std::uint64_t seen = furthest_ahead.load();
    while (ahead > seen && !furthest_ahead.compare_exchange_weak(seen, ahead)) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 300));
    if (i == fail_at) return EquityError::SamplingStalled{i, 0};
    if (slot != i % WINDOW) return EquityError::TooFewSeats{};
    out[slot] = i * i;
    return Ok{};
  }
  void take(std::uint64_t i, std::size_t slot) override {
    EXPECT_EQ(out[slot], i * i);
    taken.push_back(i);
    next_take.store(i + 1);
  }
};

TEST(WorkerPool, TakesInOrderWithinTheWindow) {
  Recorder loop;
  auto end = run_ordered(500, loop);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(*end, LoopEnd::Completed);
  ASSERT_EQ(loop.taken.size(), 500u);
  for (std::uint64_t i = 0; i < 500; ++i) ASSERT_EQ(loop.taken[i], i);
  EXPECT_LT(loop.furthest_ahead.load(), WINDOW);
  EXPECT_GE(pool_size(), 1u);
}

TEST(WorkerPool, FirstErrorEndsTheLoop) {
  Recorder loop;
  loop.fail_at = 40;
  auto end = run_ordered(100'000, loop);
  ASSERT_FALSE(end.has_value());
  EXPECT_EQ(end.error().text(), PokerError(EquityError::SamplingStalled{40, 0}).text());
  EXPECT_LE(loop.runs.load(), 40 + WINDOW);  // nothing handed out past the window
  EXPECT_LE(loop.taken.size(), 40u);
}

struct Thrower final : OrderedLoop {
  Outcome run(std::uint64_t i, std::size_t, const std::atomic<bool>&) override {
    if (i == 3) throw std::runtime_error("broken invariant");
    return Ok{};
  }
  void take(std::uint64_t, std::size_t) override {}
};

TEST(WorkerPool, ExceptionsReachTheCaller) {
  Thrower loop;
  EXPECT_THROW((void)run_ordered(10, loop), std::runtime_error);
  Recorder after;  // the pool still works
  ASSERT_TRUE(run_ordered(20, after).has_value());
  EXPECT_EQ(after.taken.size(), 20u);
}

// Tasks that run until told to stop.
struct Spinner final : OrderedLoop {
  Outcome run(std::uint64_t, std::size_t, const std::atomic<bool>& stop) override {
    while (!stop.load()) std::this_thread::sleep_for(1ms);
    return Ok{};
  }
  void take(std::uint64_t, std::size_t) override {}
};

TEST(WorkerPool, StopAndInterruptEndLoopsEarly) {
  {
    Spinner loop;
    std::atomic<bool> stop{false};
    std::thread setter([&] {
      std::this_thread::sleep_for(30ms);
      stop = true;
    });
    auto end = run_ordered(~std::uint64_t{0}, loop, &stop);  // huge: nothing is sized by it
    setter.join();
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, LoopEnd::Stopped);
  }
  {
    Spinner loop;
    int asked = 0;
    auto end = run_ordered(4, loop, nullptr, [&] { return ++asked == 3; });
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, LoopEnd::Stopped);
    EXPECT_EQ(asked, 3);
  }
}

TEST(WorkerPool, ServesConcurrentLoops) {
  std::vector<std::thread> callers;
  std::atomic<int> good{0};
  for (int t = 0; t < 6; ++t)
    callers.emplace_back([&, t] {
      Recorder loop;
      auto end = run_ordered(100 + t, loop);
      bool ok = end.has_value() && loop.taken.size() == 100u + t;
      for (std::size_t i = 0; ok && i < loop.taken.size(); ++i) ok = loop.taken[i] == i;
      if (ok) ++good;
    });
  for (auto& c : callers) c.join();
  EXPECT_EQ(good.load(), 6);
}

TEST(WorkerPool, ForkedChildMakesItsOwnPool) {
  Recorder warm;
  ASSERT_TRUE(run_ordered(50, warm).has_value());
  // Keep the parent's workers busy across the fork, so their lock may be held.
  Spinner busy;
  std::atomic<bool> stop{false};
  std::thread background([&] { (void)run_ordered(3, busy, &stop); });
  std::this_thread::sleep_for(10ms);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    alarm(20);  // a deadlock fails instead of hanging
    Recorder loop;
    auto end = run_ordered(200, loop);
    _exit(end.has_value() && loop.taken.size() == 200 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  stop = true;
  background.join();
  ASSERT_TRUE(WIFEXITED(status)) << "child did not exit normally";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}


// --- whole batches ---------------------------------------------------------

TEST(RunBatch, EqualsTheChunksMergedInOrder) {
  const auto request = request_of<OmahaHiLo>({"AhKh2c3d", "QsQdJhTh"}, "Kd 7c");
  for (std::size_t threads : {1u, 3u, 7u, 40u}) {
    const BatchSplit split(2'001, 99, threads);
    ChunkResult serial = ChunkResult::empty(2);
    for (std::uint64_t i = 0; i < split.count(); ++i) {
      auto chunk = run_chunk(request, split[i].samples, split[i].seed);
      ASSERT_TRUE(chunk.has_value());
      serial.merge(*chunk);
    }
    auto batch = run_batch(request, 2'001, 99, threads);
    ASSERT_TRUE(batch.has_value());
    {
    SCOPED_TRACE(testing::Message() << threads << " threads");
    expect_identical(*batch, serial);
    auto here = run_batch_here(request, 2'001, 99, threads);  // one chunk: no merge
    ASSERT_TRUE(here.has_value());
    expect_identical(*here, serial);
  }
    EXPECT_EQ(batch->samples, 2'001u);
    auto again = run_batch(request, 2'001, 99, threads);
    ASSERT_TRUE(again.has_value());
    expect_identical(*batch, *again);
  }
}

// A task's group of chunks, interleaved on every generator kernel here (or
// run one after another where the scheduled dealer does not serve), gives
// each chunk exactly what it gives alone.
TEST(RunGroup, EachChunkAsAlone) {
  const std::vector<EquityRequest<Holdem>> requests = {
      request_of<Holdem>({"AhKh", "QsQd"}), request_of<Holdem>({"**", "**", "**", "**", "**", "**"}),
      request_of<Holdem>({"AhKh", "**", "7c7d"}, "Kd 7h 2c"), request_of<Holdem>({"QQ+,AKs", "22+"})};
  for (const auto& request : requests) {
    for (const std::size_t size : {3u, 8u}) {
      std::vector<ChunkPlan> plans;
      for (std::size_t i = 0; i < size; ++i) plans.push_back({i == 2 ? 1u : 700 + 37 * i, 5 + i * 977});
      std::vector<ChunkResult> alone;
      for (const ChunkPlan& plan : plans) alone.push_back(*run_chunk(request, plan.samples, plan.seed));
      for (const RngLanes::Kernel kernel : RngLanes::kernels()) {
        std::vector<ChunkResult> grouped(size);
        ASSERT_TRUE(detail::run_group(request, std::span<const ChunkPlan>(plans), std::span(grouped),
                                      nullptr, kernel));
        for (std::size_t i = 0; i < size; ++i) {
          SCOPED_TRACE(testing::Message() << size << " chunks, chunk " << i);
          expect_identical(grouped[i], alone[i]);
        }
      }
    }
  }
}

TEST(RunBatch, ZeroSamplesAndZeroThreads) {
  const auto request = request_of<Holdem>({"AhKh", "QsQd"});
  auto none = run_batch(request, 0, 5, 4);
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->samples, 0u);
  EXPECT_EQ(none->attempts, 0u);
  EXPECT_EQ(none->seat_count(), 2u);
  auto zero = run_batch(request, 500, 5, 0);
  auto one = run_batch(request, 500, 5, 1);
  ASSERT_TRUE(zero.has_value() && one.has_value());
  expect_identical(*zero, *one);
}

TEST(RunBatch, StopsWhenAsked) {
  const auto request = request_of<Holdem>({"AhKh", "QsQd"});
  std::atomic<bool> stop{true};
  auto stopped = run_batch(request, ~std::uint64_t{0}, 1, 4, &stop);  // would never finish
  EXPECT_TRUE(stopped.has_value());
  int asked = 0;
  auto interrupted =
      run_batch(request, ~std::uint64_t{0}, 1, 1'000'000, nullptr, [&] { return ++asked == 2; });
  EXPECT_TRUE(interrupted.has_value());
  EXPECT_EQ(asked, 2);
}

TEST(RunExactWaiting, AgreesWithTheWalk) {
  const auto river = request_of<Holdem>({"AhKh", "QsQd"}, "Kd 7c 2h 3s");
  auto direct = run_exact(river);
  auto waiting = run_exact_waiting(river);
  ASSERT_TRUE(direct.has_value() && waiting.has_value());
  ASSERT_TRUE(direct->has_value() && waiting->has_value());
  expect_identical(**direct, **waiting);
  EXPECT_EQ((*waiting)->samples, 44u);
  EXPECT_TRUE((*waiting)->exact);

  // Too many deals to walk: no answer, not an error.
  const auto wide = request_of<Holdem>({"AA,KK,QQ,JJ,TT,99,88,AK,AQ", "**", "**", "**"});
  auto declined = run_exact_waiting(wide);
  ASSERT_TRUE(declined.has_value());
  EXPECT_FALSE(declined->has_value());
}

}  // namespace
}  // namespace vantor
