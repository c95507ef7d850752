#include "odds/pool.h"

#include "odds/threads.h"  // available_cpus

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>  // pthread_atfork, pthread_sigmask
#include <signal.h>   // sigfillset
#endif

namespace vantor {
namespace {

std::size_t logical_cpus() { return std::max<std::size_t>(available_cpus(), 1); }

// Starts `f` on a detached thread that blocks every signal, so process
// signals (Ctrl-C) reach the threads that can act on them; false when the
// system refuses the thread.
template <class F>
bool start_detached(F&& f) {
#if defined(__unix__) || defined(__APPLE__)
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
#endif
  bool started = true;
  try {
    std::thread(std::forward<F>(f)).detach();
  } catch (const std::system_error&) {
    started = false;
  }
#if defined(__unix__) || defined(__APPLE__)
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
  return started;
}

// One running loop, owned by the stack of the thread in run_ordered. Every
// field but `stop` is guarded by the pool's mutex.
struct LoopState {
  OrderedLoop* loop;
  std::uint64_t count;
  std::uint64_t next = 0;   // next index to hand out
  std::uint64_t taken = 0;  // next index to take
  std::size_t in_flight = 0;
  std::array<bool, WINDOW> ready{};
  std::atomic<bool> stop{false};  // read by running tasks without the lock
  std::optional<PokerError> error;
  std::exception_ptr fault;
  std::condition_variable changed;  // a task returned

  bool claimable() const {
    return !stop.load(std::memory_order_relaxed) && next < count && next - taken < WINDOW;
  }
};

class WorkerPool {
 public:
  explicit WorkerPool(std::size_t size) : wanted_(size) {}

  // Starts the workers; fewer (even none) when the system refuses threads.
  void start() {
    std::size_t started = 0;
    while (started < wanted_ && start_detached([this] { work(); })) ++started;
    std::lock_guard lock(mutex_);
    workers_ = started;
    started_ = true;
    // A caller that arrived before this point may be waiting for workers
    // that never came; wake it to do the work itself.
    if (started == 0)
      for (LoopState* s : loops_) s->changed.notify_all();
  }

  std::size_t size() const { return wanted_; }

  Result<LoopEnd> run(std::uint64_t count, OrderedLoop& loop, const std::atomic<bool>* stop,
                      const Interrupt& interrupted);

 private:
  void work();
  // Runs one claimed task and records how it ended; called without the lock.
  void finish_task(LoopState& s, std::uint64_t index, std::unique_lock<std::mutex>& lock);

  const std::size_t wanted_;
  std::mutex mutex_;
  std::condition_variable work_;  // a loop arrived or its window moved
  std::vector<LoopState*> loops_;
  std::size_t workers_ = 0;
  bool started_ = false;
};

void WorkerPool::finish_task(LoopState& s, std::uint64_t index, std::unique_lock<std::mutex>& lock) {
  const std::size_t slot = static_cast<std::size_t>(index % WINDOW);
  std::optional<PokerError> error;
  std::exception_ptr fault;
  lock.unlock();
  try {
    Outcome outcome = s.loop->run(index, slot, s.stop);
    if (!outcome) error.emplace(std::move(outcome).error());
  } catch (...) {
    fault = std::current_exception();
  }
  lock.lock();
  --s.in_flight;
  if (error || fault) {
    // The first failure in time is the loop's; later ones are dropped.
    if (!s.error && !s.fault) {
      s.error = std::move(error);
      s.fault = fault;
    }
    s.stop.store(true, std::memory_order_relaxed);
  } else {
    s.ready[slot] = true;
  }
  // Notified under the lock: the waiting thread cannot return and destroy the
  // state before this call is over.
  s.changed.notify_all();
}

void WorkerPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // The claimable loop with the fewest running tasks (the oldest on a tie),
    // so a loop of many chunks cannot starve one started after it.
    LoopState* s = nullptr;
    for (LoopState* candidate : loops_)
      if (candidate->claimable() && (s == nullptr || candidate->in_flight < s->in_flight))
        s = candidate;
    if (s == nullptr) {
      work_.wait(lock);
      continue;
    }
    const std::uint64_t index = s->next++;
    ++s->in_flight;
    finish_task(*s, index, lock);
  }
}

Result<LoopEnd> WorkerPool::run(std::uint64_t count, OrderedLoop& loop,
                                const std::atomic<bool>* stop, const Interrupt& interrupted) {
  using Clock = std::chrono::steady_clock;
  const bool watched = stop != nullptr || static_cast<bool>(interrupted);
  const auto slice = std::chrono::milliseconds(WAIT_SLICE_MS);
  LoopState s{.loop = &loop, .count = count};
  bool stopped = false;

  std::unique_lock lock(mutex_);
  loops_.push_back(&s);
  work_.notify_all();
  auto next_look = Clock::now() + slice;
  while (s.taken < count && !s.stop.load(std::memory_order_relaxed)) {
    const std::size_t slot = static_cast<std::size_t>(s.taken % WINDOW);
    if (s.ready[slot]) {
      s.ready[slot] = false;
      lock.unlock();
      try {
        loop.take(s.taken, slot);
      } catch (...) {
        lock.lock();
        s.fault = std::current_exception();
        s.stop.store(true, std::memory_order_relaxed);
        break;
      }
      lock.lock();
      ++s.taken;
      work_.notify_all();  // the window moved on
      continue;
    }
    if (started_ && workers_ == 0 && s.claimable()) {
      // No thread could be started: the caller does the work itself.
      const std::uint64_t index = s.next++;
      ++s.in_flight;
      finish_task(s, index, lock);
      continue;
    }
    if (!watched) {
      s.changed.wait(lock);
      continue;
    }
    if (s.changed.wait_until(lock, next_look) == std::cv_status::no_timeout) continue;
    next_look = Clock::now() + slice;
    lock.unlock();
    const bool end = (stop != nullptr && stop->load(std::memory_order_relaxed)) ||
                     (interrupted && interrupted());
    lock.lock();
    if (end) {
      stopped = true;
      s.stop.store(true, std::memory_order_relaxed);
    }
  }
  // Hand out nothing more and wait for what runs: the tasks borrow the
  // caller's data.
  s.stop.store(true, std::memory_order_relaxed);
  s.changed.wait(lock, [&] { return s.in_flight == 0; });
  loops_.erase(std::find(loops_.begin(), loops_.end(), &s));
  lock.unlock();

  if (s.fault) std::rethrow_exception(s.fault);
  if (s.error) return std::move(*s.error);
  return stopped ? LoopEnd::Stopped : LoopEnd::Completed;
}

// The pool of this process. Held by an atomic pointer rather than behind a
// mutex, so that no lock taken at fork time can be left held in the child.
std::atomic<WorkerPool*> g_pool{nullptr};
std::atomic<bool> g_fork_handler{false};

// In a forked child the parent's workers are gone and its mutex may be held
// forever: leave that pool behind unjoined and let the next loop make one.
void forget_pool_in_child() { g_pool.store(nullptr, std::memory_order_relaxed); }

WorkerPool& pool() {
  if (WorkerPool* p = g_pool.load(std::memory_order_acquire)) return *p;
  auto* fresh = new WorkerPool(logical_cpus());
  WorkerPool* expected = nullptr;
  if (!g_pool.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
    delete fresh;  // another thread won; no workers were started for this one
    return *expected;
  }
#if defined(__unix__) || defined(__APPLE__)
  if (!g_fork_handler.exchange(true)) pthread_atfork(nullptr, nullptr, &forget_pool_in_child);
#endif
  fresh->start();
  return *fresh;
}

}  // namespace

Result<LoopEnd> run_ordered(std::uint64_t count, OrderedLoop& loop, const std::atomic<bool>* stop,
                            const Interrupt& interrupted) {
  if (count == 0) return LoopEnd::Completed;
  return pool().run(count, loop, stop, interrupted);
}

std::size_t pool_size() { return pool().size(); }

namespace detail {

void destroy_detached(std::unique_ptr<Doomed> doomed) {
  // Shared so that a thread that fails to start leaves the value here.
  auto held = std::shared_ptr<Doomed>(std::move(doomed));
  start_detached([held]() mutable { held.reset(); });
}

}  // namespace detail

}  // namespace vantor
