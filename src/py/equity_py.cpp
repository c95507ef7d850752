// The four equity entry points (chunk, chunk_from_text, exact,
// exact_from_text) and the result dictionary they return.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cards/card.h"
#include "notation/hand_spec.h"
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

bool put(PyObject* dict, const char* key, PyRef value) {
  return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

PyRef float_list(const std::vector<double>& values) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
  if (!list) return list;
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* item = PyFloat_FromDouble(values[i]);
    if (item == nullptr) return PyRef();
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // steals item
  }
  return list;
}

PyRef player_dict(const PlayerEquity& p) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return dict;
  const std::pair<const char*, double> fields[] = {
      {"equity", p.equity},     {"win", p.win},           {"tie", p.tie},
      {"low_equity", p.low_equity}, {"scoop", p.scoop},   {"high_win", p.high_win},
      {"high_tie", p.high_tie}, {"low_win", p.low_win},   {"low_tie", p.low_tie},
      {"std_error", p.std_error},
  };
  for (const auto& [key, value] : fields)
    if (!put(dict.get(), key, PyRef::steal(PyFloat_FromDouble(value)))) return PyRef();
  return dict;
}

// Every key in its fixed order; on any failure nothing escapes.
PyObject* to_dict(const ChunkResult& r, bool weighted) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  PyObject* d = dict.get();
  const double acceptance =
      r.attempts == 0 ? 1.0 : static_cast<double>(r.samples) / static_cast<double>(r.attempts);
  const double effective =
      r.weight_square_sum > 0 ? r.weight_sum * r.weight_sum / r.weight_square_sum : 0.0;
  if (!put(d, "samples", PyRef::steal(PyLong_FromUnsignedLongLong(r.samples))) ||
      !put(d, "exact", PyRef::new_ref(r.exact ? Py_True : Py_False)) ||
      !put(d, "attempts", PyRef::steal(PyLong_FromUnsignedLongLong(r.attempts))) ||
      !put(d, "acceptance", PyRef::steal(PyFloat_FromDouble(acceptance))) ||
      !put(d, "weighted", PyRef::new_ref(weighted ? Py_True : Py_False)) ||
      !put(d, "weight_sum", PyRef::steal(PyFloat_FromDouble(r.weight_sum))) ||
      !put(d, "weight_square_sum", PyRef::steal(PyFloat_FromDouble(r.weight_square_sum))) ||
      !put(d, "effective_samples", PyRef::steal(PyFloat_FromDouble(effective))))
    return nullptr;
  for (const PerSeatSum& sum : PER_SEAT_SUMS)
    if (!put(d, sum.key, float_list(r.*sum.values))) return nullptr;

  const std::vector<PlayerEquity> equities = r.equities();
  PyRef players = PyRef::steal(PyList_New(0));
  if (!players) return nullptr;
  for (const PlayerEquity& p : equities) {
    PyRef player = player_dict(p);
    if (!player || PyList_Append(players.get(), player.get()) != 0) return nullptr;
  }
  if (!put(d, "players", std::move(players))) return nullptr;
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
      if (is_finalizing()) return false;  // the lock cannot be had any more
      PyEval_RestoreThread(thread_);
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

template <class V>
Result<EquityRequest<V>> build(const MaskQuestion& q) {
  return EquityRequest<V>::from_masks(q.seats, q.board, q.dead);
}

template <class V>
Result<EquityRequest<V>> build(const TextQuestion& q) {
  return EquityRequest<V>::from_text(q.hands, q.board, q.dead);
}

template <class V, class Question>
PyObject* sample(const Question& question, const BatchSize& size) {
  Result<EquityRequest<V>> request = build<V>(question);  // the lock is held
  if (!request) return to_py(std::move(request).error());
  SignalWatch watch;
  Result<ChunkResult> total = [&] {
    ReleaseGil unlocked;
    return run_batch(*request, size.samples, size.seed, size.threads, nullptr, watch.interrupt());
  }();
  if (watch.raised()) return nullptr;
  if (!total) return to_py(std::move(total).error());
  return to_dict(*total, request->weighted);
}

template <class V, class Question>
PyObject* walk(const Question& question) {
  Result<EquityRequest<V>> request = build<V>(question);
  if (!request) return to_py(std::move(request).error());
  SignalWatch watch;
  Result<std::optional<ChunkResult>> walked = [&] {
    ReleaseGil unlocked;
    return run_exact_waiting(*request, nullptr, watch.interrupt());
  }();
  if (watch.raised()) return nullptr;
  if (!walked) return to_py(std::move(walked).error());
  if (!walked->has_value()) Py_RETURN_NONE;  // too many deals to walk
  return to_dict(**walked, request->weighted);
}

// ---------------------------------------------------------------------------
// The game table: one engine instantiation per key, fixed at compile time.

struct Game {
  std::string_view key;
  PyObject* (*chunk)(const MaskQuestion&, const BatchSize&);
  PyObject* (*chunk_from_text)(const TextQuestion&, const BatchSize&);
  PyObject* (*exact)(const MaskQuestion&);
  PyObject* (*exact_from_text)(const TextQuestion&);
};

template <class... V>
constexpr std::array<Game, sizeof...(V)> games_of(VariantList<V...>) {
  return {Game{V::KEY, &sample<V, MaskQuestion>, &sample<V, TextQuestion>, &walk<V, MaskQuestion>,
               &walk<V, TextQuestion>}...};
}

constexpr auto GAMES = games_of(AllVariants{});

// The game of a key (compared exactly), or null with ValueError set.
const Game* game_of(std::string_view key) {
  for (const Game& game : GAMES)
    if (game.key == key) return &game;
  const std::string message = "no game called " + quoted(key) + "; call variants() for the list";
  PyErr_SetString(PyExc_ValueError, message.c_str());
  return nullptr;
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
  for (PyObject* seat : seats.items()) {
    Items alternatives;
    if (!as_sequence(seat, function, "hands", alternatives)) return false;
    HandSpec hand;
    hand.holdings.reserve(alternatives.items().size());
    for (PyObject* alternative : alternatives.items()) {
      Holding holding;
      if (!as_masks(alternative, function, "hands", holding)) return false;
      hand.holdings.push_back(std::move(holding));
    }
    out.push_back(std::move(hand));
  }
  return true;
}

bool as_mask_question(PyObject* const* a, const char* function, MaskQuestion& q) {
  std::uint64_t dead = 0;
  if (!as_hand_specs(a[1], function, q.seats) || !as_masks(a[2], function, "board", q.board) ||
      !as_u64(a[3], function, "dead", dead))
    return false;
  q.dead = CardSet(dead & CARD_BITS);
  return true;
}

// Optional arguments keep their defaults when not given.
bool as_text_question(PyObject* const* a, const char* function, Items& keep, TextQuestion& q) {
  return as_str_list(a[1], function, "hands", keep, q.hands) &&
         (a[2] == nullptr || as_str(a[2], function, "board", q.board)) &&
         (a[3] == nullptr || as_str(a[3], function, "dead", q.dead));
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

}  // namespace

PyObject* chunk(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"variant", "hands",  "board", "dead",
                                          "samples", "seed", "threads"};
  PyObject* a[7];
  std::string_view key;
  MaskQuestion question;
  BatchSize size{0, 0, 0};
  if (!parse_args("chunk", NAMES, 5, args, nargs, kwnames, a) ||
      !as_str(a[0], "chunk", "variant", key) || !as_mask_question(a, "chunk", question) ||
      !as_batch_size(a[4], a[5], a[6], "chunk", size))
    return nullptr;
  const Game* game = game_of(key);
  return game ? game->chunk(question, size) : nullptr;
}

PyObject* chunk_from_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"variant", "hands",  "board", "dead",
                                          "samples", "seed", "threads"};
  PyObject* a[7];
  std::string_view key;
  Items keep;
  TextQuestion question;
  BatchSize size{100'000, 0, 0};
  if (!parse_args("chunk_from_text", NAMES, 2, args, nargs, kwnames, a) ||
      !as_str(a[0], "chunk_from_text", "variant", key) ||
      !as_text_question(a, "chunk_from_text", keep, question) ||
      !as_batch_size(a[4], a[5], a[6], "chunk_from_text", size))
    return nullptr;
  const Game* game = game_of(key);
  return game ? game->chunk_from_text(question, size) : nullptr;
}

PyObject* exact(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"variant", "hands", "board", "dead"};
  PyObject* a[4];
  std::string_view key;
  MaskQuestion question;
  if (!parse_args("exact", NAMES, 4, args, nargs, kwnames, a) ||
      !as_str(a[0], "exact", "variant", key) || !as_mask_question(a, "exact", question))
    return nullptr;
  const Game* game = game_of(key);
  return game ? game->exact(question) : nullptr;
}

PyObject* exact_from_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"variant", "hands", "board", "dead"};
  PyObject* a[4];
  std::string_view key;
  Items keep;
  TextQuestion question;
  if (!parse_args("exact_from_text", NAMES, 2, args, nargs, kwnames, a) ||
      !as_str(a[0], "exact_from_text", "variant", key) ||
      !as_text_question(a, "exact_from_text", keep, question))
    return nullptr;
  const Game* game = game_of(key);
  return game ? game->exact_from_text(question) : nullptr;
}

}  // namespace vantor::py
