// The four equity entry points (chunk, chunk_from_text, exact,
// exact_from_text) and the result dictionary they return.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "cards/card.h"
#include "notation/hand_spec.h"
#include "odds/pool.h"  // free_later
#include "odds/request.h"
#include "odds/result.h"
#include "odds/runner.h"
#include "odds/threads.h"
#include "py/args.h"
#include "py/module.h"
#include "variants/variants.h"

namespace vantor::py {
namespace {

// Bits 52 to 63 of a Python mask name no card and are ignored.
constexpr std::uint64_t CARD_BITS = CardSet::full_deck().mask();

// ---------------------------------------------------------------------------
// The result dictionary.

// Its keys in the order the module keeps them: the result's own, the
// per-seat sums', then a player's.
constexpr std::array<const char*, 8> OWN_KEYS = {
    "samples",    "exact",      "attempts",          "acceptance",
    "weighted",   "weight_sum", "weight_square_sum", "effective_samples"};
constexpr const char* PLAYERS_KEY = "players";
constexpr std::array<const char*, 10> PLAYER_KEYS = {
    "equity", "win", "tie", "low_equity", "scoop", "high_win", "high_tie", "low_win", "low_tie",
    "std_error"};
constexpr std::size_t SUMS_AT = OWN_KEYS.size();
constexpr std::size_t PLAYERS_AT = SUMS_AT + PER_SEAT_SUMS.size();
constexpr std::size_t PLAYER_AT = PLAYERS_AT + 1;
constexpr std::size_t KEY_COUNT = PLAYER_AT + PLAYER_KEYS.size();

bool put(PyObject* dict, PyObject* key, PyRef value) {
  return value && PyDict_SetItem(dict, key, value.get()) == 0;
}

PyRef float_list(std::span<const double> values) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
  if (!list) return list;
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* item = PyFloat_FromDouble(values[i]);
    if (item == nullptr) return PyRef();
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // steals item
  }
  return list;
}

// The module's key k.
PyObject* key(PyObject* keys, std::size_t k) {
  return PyTuple_GET_ITEM(keys, static_cast<Py_ssize_t>(k));
}

PyRef player_dict(PyObject* keys, const PlayerEquity& p) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return dict;
  const std::array<double, PLAYER_KEYS.size()> values = {
      p.equity, p.win, p.tie, p.low_equity, p.scoop, p.high_win, p.high_tie, p.low_win,
      p.low_tie, p.std_error};
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!put(dict.get(), key(keys, PLAYER_AT + i), PyRef::steal(PyFloat_FromDouble(values[i]))))
      return PyRef();
  return dict;
}

// Every key in its fixed order; on any failure nothing escapes.
PyObject* to_dict(PyObject* module, const ChunkResult& r, bool weighted) {
  PyObject* const keys = result_keys(module);
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  PyObject* d = dict.get();
  const double acceptance =
      r.attempts == 0 ? 1.0 : static_cast<double>(r.samples) / static_cast<double>(r.attempts);
  const double effective =
      r.weight_square_sum > 0 ? r.weight_sum * r.weight_sum / r.weight_square_sum : 0.0;
  const std::array<PyRef, OWN_KEYS.size()> own = {
      PyRef::steal(PyLong_FromUnsignedLongLong(r.samples)),
      PyRef::new_ref(r.exact ? Py_True : Py_False),
      PyRef::steal(PyLong_FromUnsignedLongLong(r.attempts)),
      PyRef::steal(PyFloat_FromDouble(acceptance)),
      PyRef::new_ref(weighted ? Py_True : Py_False),
      PyRef::steal(PyFloat_FromDouble(r.weight_sum)),
      PyRef::steal(PyFloat_FromDouble(r.weight_square_sum)),
      PyRef::steal(PyFloat_FromDouble(effective))};
  for (std::size_t i = 0; i < own.size(); ++i)
    if (!own[i] || PyDict_SetItem(d, key(keys, i), own[i].get()) != 0) return nullptr;
  for (std::size_t i = 0; i < PER_SEAT_SUMS.size(); ++i)
    if (!put(d, key(keys, SUMS_AT + i), float_list(r.*PER_SEAT_SUMS[i].values))) return nullptr;

  const std::vector<PlayerEquity> equities = r.equities();
  PyRef players = PyRef::steal(PyList_New(0));
  if (!players) return nullptr;
  for (const PlayerEquity& p : equities) {
    PyRef player = player_dict(keys, p);
    if (!player || PyList_Append(players.get(), player.get()) != 0) return nullptr;
  }
  if (!put(d, key(keys, PLAYERS_AT), std::move(players))) return nullptr;
  return dict.release();
}

// ---------------------------------------------------------------------------
// Running the engine with the lock released.

// Lets Ctrl-C end engine work promptly: the waiting thread asks every slice,
// taking the interpreter lock back just long enough to run Python's signal
// handlers. A handler's exception (KeyboardInterrupt) stays set for the
// caller, which then returns null. Built while the lock is held.
class SignalWatch {
 public:
  SignalWatch() : thread_(PyThreadState_Get()) {}
  bool raised() const { return raised_; }
  Interrupt interrupt() {
    return [this] {
      if (is_finalizing()) return false;  // the lock is the finalizing thread's
      take_back(thread_);
      if (PyErr_CheckSignals() != 0) raised_ = true;
      PyEval_SaveThread();
      return raised_;
    };
  }

 private:
  static bool is_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
  }
  PyThreadState* thread_;
  bool raised_ = false;
};

struct MaskQuestion {
  std::vector<HandSpec> seats;
  std::vector<CardSet> board;
  CardSet dead;
};

struct TextQuestion {
  std::vector<std::string_view> hands;
  std::string_view board;
  std::string_view dead;
};

struct BatchSize {
  std::uint64_t samples;
  std::uint64_t seed;
  std::size_t threads;
};

// Counts a call against the interpreter's recursion limit: a Python signal
// handler that runs while the call waits may call in again, on this stack.
class Nested {
 public:
  Nested() : entered_(Py_EnterRecursiveCall(" in an equity call") == 0) {}
  ~Nested() {
    if (entered_) Py_LeaveRecursiveCall();
  }
  Nested(const Nested&) = delete;
  Nested& operator=(const Nested&) = delete;
  explicit operator bool() const { return entered_; }

 private:
  bool entered_;
};

// The seats are handed over: the call has no further use for them.
template <class V>
Result<std::optional<EquityRequest<V>>> build(MaskQuestion& q,
                                              const std::function<bool()>& halted) {
  return EquityRequest<V>::from_masks(std::move(q.seats), q.board, q.dead, halted);
}

template <class V>
Result<std::optional<EquityRequest<V>>> build(TextQuestion& q,
                                              const std::function<bool()>& halted) {
  return EquityRequest<V>::from_text(q.hands, q.board, q.dead, halted);
}

// Builds the request on this thread with the lock released (the question
// holds no Python objects, and the texts it views belong to strings the call
// keeps alive), asking the watch for Ctrl-C every WAIT_SLICE_MS meanwhile.
// Empty when the watch saw an exception raised.
template <class V, class Question>
Result<std::unique_ptr<EquityRequest<V>>> prepare(Question& question, SignalWatch& watch) {
  using Clock = std::chrono::steady_clock;
  const Interrupt interrupt = watch.interrupt();
  auto next_look = Clock::now() + std::chrono::milliseconds(WAIT_SLICE_MS);
  const std::function<bool()> halted = [&] {
    if (watch.raised()) return true;
    if (Clock::now() < next_look) return false;
    next_look = Clock::now() + std::chrono::milliseconds(WAIT_SLICE_MS);
    return interrupt();
  };
  Result<std::optional<EquityRequest<V>>> built = build<V>(question, halted);
  if (!built) return std::move(built).error();
  if (!*built) return std::unique_ptr<EquityRequest<V>>();
  return std::make_unique<EquityRequest<V>>(std::move(**built));
}

// Drops the call's request: a large one (freeing a million holdings takes a
// tenth of a second) on a thread of its own, so that neither the answer nor
// a Ctrl-C that arrives meanwhile waits for it.
template <class V>
void drop(Result<std::unique_ptr<EquityRequest<V>>>& request) {
  if (!request || !*request) return;
  std::size_t holdings = 0;
  for (const RequestEntry& seat : (**request).seats) holdings += seat.samplers.size();
  if (holdings > (1u << 16)) free_later(std::move(*request));
}

// The dictionary of an answer; a walk with too many deals answers None.
PyObject* answer_to_py(PyObject* module, const ChunkResult& r, bool weighted) {
  return to_dict(module, r, weighted);
}
PyObject* answer_to_py(PyObject* module, const std::optional<ChunkResult>& r, bool weighted) {
  if (!r) Py_RETURN_NONE;  // too many deals to walk
  return to_dict(module, *r, weighted);
}

// Builds the request and runs `work` on it (the engine's Result), all with
// the lock released; then converts the answer or the first error. A Ctrl-C
// meanwhile leaves KeyboardInterrupt set and returns null.
template <class V, class Question, class Work>
PyObject* run_question(PyObject* module, Question& question, Work work) {
  using Answer = std::invoke_result_t<Work&, const EquityRequest<V>&, SignalWatch&>;
  Nested nested;
  if (!nested) return nullptr;
  SignalWatch watch;
  std::optional<Answer> answer;
  Result<std::unique_ptr<EquityRequest<V>>> request = [&] {
    ReleaseGil unlocked;
    Result<std::unique_ptr<EquityRequest<V>>> built = prepare<V>(question, watch);
    if (built && *built) answer = work(**built, watch);
    return built;
  }();
  if (watch.raised()) {
    if (request && *request) free_later(std::move(*request));
    return nullptr;
  }
  if (!request) return to_py(std::move(request).error());
  if (!answer) throw std::logic_error("an equity request neither built nor stopped");
  if (!*answer) return to_py(std::move(*answer).error());
  const bool weighted = (*request)->weighted;
  drop(request);
  return answer_to_py(module, answer->value(), weighted);
}

template <class V, class Question>
PyObject* sample(PyObject* module, Question& question, const BatchSize& size) {
  return run_question<V>(module, question, [&size](const EquityRequest<V>& request, SignalWatch& watch) {
    // Small work runs here: handing it to the pool would cost more than it.
    return batch_is_small(request, size.samples)
               ? run_batch_here(request, size.samples, size.seed, size.threads)
               : run_batch(request, size.samples, size.seed, size.threads, nullptr,
                           watch.interrupt());
  });
}

template <class V, class Question>
PyObject* walk(PyObject* module, Question& question) {
  return run_question<V>(module, question, [](const EquityRequest<V>& request, SignalWatch& watch) {
    // Small work runs here: handing it to a worker would cost more than it.
    return walk_is_small(request) ? run_exact(request)
                                  : run_exact_waiting(request, nullptr, watch.interrupt());
  });
}

// ---------------------------------------------------------------------------
// The game table: one engine instantiation per key, fixed at compile time.

template <class... V>
constexpr std::array<std::string_view, sizeof...(V)> keys_of(VariantList<V...>) {
  return {V::KEY...};
}

constexpr auto KEYS = keys_of(AllVariants{});

// The registry index of a key (compared exactly), or nothing with ValueError set.
std::optional<std::size_t> game_of(std::string_view key) {
  for (std::size_t i = 0; i < KEYS.size(); ++i)
    if (KEYS[i] == key) return i;
  const std::string message = "no game called " + quoted(key) + "; call variants() for the list";
  PyErr_SetString(PyExc_ValueError, message.c_str());
  return std::nullopt;
}

// A question answered by sampling or by walking every deal.
template <class V, class Question, bool SAMPLED>
PyObject* answer_for(PyObject* module, Question& question, const BatchSize& size) {
  if constexpr (SAMPLED) return sample<V>(module, question, size);
  else return walk<V>(module, question);
}

template <class Question, bool SAMPLED, class... V>
constexpr auto answers_of(VariantList<V...>) {
  using Answer = PyObject* (*)(PyObject*, Question&, const BatchSize&);
  return std::array<Answer, sizeof...(V)>{&answer_for<V, Question, SAMPLED>...};
}

// ---------------------------------------------------------------------------
// Argument conversion.

// Masks cut to the card bits: higher bits of a Python mask are ignored.
bool as_masks(PyObject* obj, const char* function, const char* arg, std::vector<CardSet>& out) {
  std::vector<std::uint64_t> masks;
  if (!as_u64_list(obj, function, arg, masks)) return false;
  out.reserve(masks.size());
  for (std::uint64_t mask : masks) out.push_back(CardSet(mask & CARD_BITS));
  return true;
}

bool as_hand_specs(PyObject* obj, const char* function, std::vector<HandSpec>& out) {
  Items seats;
  if (!as_sequence(obj, function, "hands", seats)) return false;
  out.reserve(seats.items().size());
  std::size_t converted = 0;
  for (PyObject* seat : seats.items()) {
    Items alternatives;
    if (!as_sequence(seat, function, "hands", alternatives)) return false;
    HandSpec hand;
    hand.holdings.reserve(alternatives.items().size());
    for (PyObject* alternative : alternatives.items()) {
      // Millions of alternatives take a while: let Ctrl-C through meanwhile.
      if (++converted % 4096 == 0 && PyErr_CheckSignals() != 0) return false;
      Holding holding;
      if (!as_masks(alternative, function, "hands", holding)) return false;
      hand.holdings.push_back(std::move(holding));
    }
    out.push_back(std::move(hand));
  }
  return true;
}

// Masks name every card argument.
bool as_question(PyObject* const* a, const char* function, Items&, MaskQuestion& q) {
  std::uint64_t dead = 0;
  if (!as_hand_specs(a[1], function, q.seats) || !as_masks(a[2], function, "board", q.board) ||
      !as_u64(a[3], function, "dead", dead))
    return false;
  q.dead = CardSet(dead & CARD_BITS);
  return true;
}

// Optional arguments keep their defaults when not given.
bool as_question(PyObject* const* a, const char* function, Items& keep, TextQuestion& q) {
  PyRef board, dead;
  const bool ok = as_str_list(a[1], function, "hands", keep, q.hands) &&
                  (a[2] == nullptr || as_str(a[2], function, "board", q.board, board)) &&
                  (a[3] == nullptr || as_str(a[3], function, "dead", q.dead, dead));
  for (PyRef* encoded : {&board, &dead})
    if (*encoded) keep.encoded.push_back(std::move(*encoded));
  return ok;
}

bool as_batch_size(PyObject* samples, PyObject* seed, PyObject* threads, const char* function,
                   BatchSize& out) {
  if ((samples != nullptr && !as_u64(samples, function, "samples", out.samples)) ||
      (seed != nullptr && !as_u64(seed, function, "seed", out.seed)) ||
      (threads != nullptr && !as_size(threads, function, "threads", out.threads)))
    return false;
  if (out.threads == 0) out.threads = default_threads();
  return true;
}

// The shape all four entry points share: the parameters in this order (the
// first that fails to convert is the error), then the game, then the answer.
// Text questions may leave out the board and the dead cards; mask questions
// name them, and a sampled one its sample count too.
template <class Question, bool SAMPLED>
PyObject* answer(PyObject* module, const char* function, PyObject* const* args,
                 Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"variant", "hands",  "board", "dead",
                                          "samples", "seed", "threads"};
  constexpr std::size_t COUNT = SAMPLED ? 7 : 4;
  constexpr std::size_t REQUIRED = std::is_same_v<Question, TextQuestion> ? 2 : SAMPLED ? 5 : 4;
  static constexpr auto ANSWERS = answers_of<Question, SAMPLED>(AllVariants{});
  PyObject* a[7];
  std::string_view key;
  PyRef key_text;
  Items keep;
  Question question;
  BatchSize size{100'000, 0, 0};
  if (!parse_args(function, std::span(NAMES, COUNT), REQUIRED, args, nargs, kwnames, a) ||
      !as_str(a[0], function, "variant", key, key_text) ||
      !as_question(a, function, keep, question) ||
      (SAMPLED && !as_batch_size(a[4], a[5], a[6], function, size)))
    return nullptr;
  const std::optional<std::size_t> game = game_of(key);
  return game ? ANSWERS[*game](module, question, size) : nullptr;
}

}  // namespace

PyObject* chunk(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  return answer<MaskQuestion, true>(module, "chunk", args, nargs, kwnames);
}

PyObject* chunk_from_text(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
  return answer<TextQuestion, true>(module, "chunk_from_text", args, nargs, kwnames);
}

PyObject* exact(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  return answer<MaskQuestion, false>(module, "exact", args, nargs, kwnames);
}

PyObject* exact_from_text(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
  return answer<TextQuestion, false>(module, "exact_from_text", args, nargs, kwnames);
}

PyObject* new_result_keys() {
  std::array<const char*, KEY_COUNT> texts{};
  std::copy(OWN_KEYS.begin(), OWN_KEYS.end(), texts.begin());
  for (std::size_t i = 0; i < PER_SEAT_SUMS.size(); ++i) texts[SUMS_AT + i] = PER_SEAT_SUMS[i].key;
  texts[PLAYERS_AT] = PLAYERS_KEY;
  std::copy(PLAYER_KEYS.begin(), PLAYER_KEYS.end(), texts.begin() + PLAYER_AT);
  PyRef keys = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(KEY_COUNT)));
  if (!keys) return nullptr;
  for (std::size_t i = 0; i < KEY_COUNT; ++i) {
    PyObject* text = PyUnicode_InternFromString(texts[i]);
    if (text == nullptr) return nullptr;
    PyTuple_SET_ITEM(keys.get(), static_cast<Py_ssize_t>(i), text);  // steals text
  }
  return keys.release();
}

}  // namespace vantor::py
