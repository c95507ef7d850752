// score_batch: many hands through one of the evaluators in a single call, so a
// validation harness can compare them with an outside evaluator cheaply.
#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "py/args.h"
#include "py/module.h"
#include "variants/variants.h"

namespace vantor::py {
namespace {

// Every hand's cards, stored flat; `repeated` marks hands naming a card twice.
struct ParsedHands {
  std::vector<Card> cards;
  std::vector<std::uint32_t> starts;  // one per hand, plus the end
  std::vector<std::uint8_t> repeated;

  std::span<const Card> hand(std::size_t i) const {
    return std::span<const Card>(cards).subspan(starts[i], starts[i + 1] - starts[i]);
  }
};

// Rank and suit of every byte (-1 for none), so plain card text is read with
// one table read per character.
struct CharTables {
  std::array<std::int8_t, 256> rank{}, suit{};
};
constexpr CharTables CHAR_TABLES = [] {
  CharTables t;
  for (unsigned c = 0; c < 256; ++c) {
    t.rank[c] = static_cast<std::int8_t>(rank_of_char(c));
    t.suit[c] = static_cast<std::int8_t>(suit_of_char(c));
  }
  return t;
}();

// Plain pairs of rank and suit characters read without the general reader;
// anything else (white space, an error to report) goes through Card::parse_field.
// Sets `seen` to the hand's cards and reports a card named twice in `repeated`.
bool append_plain(std::string_view text, std::vector<Card>& out, std::uint64_t& seen,
                  bool& repeated) {
  if (text.size() % 2 != 0) return false;
  const std::size_t start = out.size();
  seen = 0;
  repeated = false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int rank = CHAR_TABLES.rank[static_cast<unsigned char>(text[i])];
    const int suit = CHAR_TABLES.suit[static_cast<unsigned char>(text[i + 1])];
    if ((rank | suit) < 0) {
      out.resize(start);
      return false;
    }
    const Card card = Card::of(static_cast<unsigned>(rank), static_cast<unsigned>(suit));
    const std::uint64_t bit = std::uint64_t{1} << card.index();
    repeated |= (seen & bit) != 0;
    seen |= bit;
    out.push_back(card);
  }
  return true;
}


// Null with a Python exception set when an item's text cannot be had.
std::optional<Expected<ParsedHands, CardError>> parse_hands(std::span<PyObject* const> items) {
  ParsedHands parsed;
  std::size_t chars = 0;
  for (PyObject* item : items) chars += static_cast<std::size_t>(PyUnicode_GET_LENGTH(item));
  // Hand starts are 32-bit; a batch beyond that is far past any sensible size.
  if (chars / 2 > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  parsed.cards.reserve(chars / 2);
  parsed.starts.reserve(items.size() + 1);
  parsed.repeated.reserve(items.size());
  parsed.starts.push_back(0);
  for (PyObject* item : items) {
    // Cached by CPython after the first request, so this costs a pointer
    // read; a text with surrogates is copied, and its reading fails.
    std::string_view text;
    PyRef encoded;
    if (!utf8_of(item, text, encoded)) return std::nullopt;
    std::uint64_t seen = 0;
    bool repeated = false;
    if (!append_plain(text, parsed.cards, seen, repeated)) {
      auto cards = Card::parse_field(text);
      if (!cards) return Expected<ParsedHands, CardError>(Unexpected<CardError>{std::move(cards).error()});
      seen = 0;
      repeated = false;
      for (Card card : *cards) {
        const std::uint64_t bit = std::uint64_t{1} << card.index();
        repeated |= (seen & bit) != 0;
        seen |= bit;
        parsed.cards.push_back(card);
      }
    }
    parsed.starts.push_back(static_cast<std::uint32_t>(parsed.cards.size()));
    parsed.repeated.push_back(repeated);
  }
  return Expected<ParsedHands, CardError>(std::move(parsed));
}

// One game's `score` over every hand. A hand naming a card twice gets the
// game's REPEATED_CARD_SCORE (the table kernels' NO_ENTRY, Omaha's NO_HAND)
// rather than a read of a slot no real hand owns; a game without one (Badugi)
// scores it like any other.
template <class V>
void score_all(const ParsedHands& hands, std::vector<std::uint32_t>& out) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    if constexpr (V::REPEATED_CARD_SCORE.has_value()) {
      if (hands.repeated[i]) {
        out[i] = *V::REPEATED_CARD_SCORE;
        continue;
      }
    }
    out[i] = V::score(hands.hand(i));
  }
}

// The kernels are the games' KERNEL names; games sharing a name share the
// kernel, served by the first of them in registry order.
struct Kernel {
  std::string_view name;
  void (*score_all)(const ParsedHands&, std::vector<std::uint32_t>&);
};

template <class... V>
constexpr std::array<Kernel, sizeof...(V)> kernels_of(VariantList<V...>) {
  return {Kernel{V::KERNEL, &score_all<V>}...};
}

constexpr auto KERNELS = kernels_of(AllVariants{});

const Kernel* kernel_named(std::string_view name) {
  for (const Kernel& kernel : KERNELS)
    if (kernel.name == name) return &kernel;
  return nullptr;
}

// The scores as a list of ints. A large batch repeats few distinct values, so
// each value below 65536 is made into an int object once and shared.
PyObject* to_list(const std::vector<std::uint32_t>& scores) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(scores.size())));
  if (!list) return nullptr;
  std::vector<PyRef> shared(scores.size() > 4096 ? 65536 : 0);
  for (std::size_t i = 0; i < scores.size(); ++i) {
    const std::uint32_t score = scores[i];
    PyObject* value;
    if (score < shared.size()) {
      if (!shared[score]) shared[score] = PyRef::steal(PyLong_FromUnsignedLong(score));
      value = shared[score].get();
      Py_XINCREF(value);
    } else {
      value = PyLong_FromUnsignedLong(score);
    }
    if (value == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), value);
  }
  return list.release();
}

}  // namespace

PyObject* score_batch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"kernel", "hands"};
  PyObject* a[2];
  std::string_view kernel_text;
  PyRef kernel_keep;
  Items hands_in;
  if (!parse_args("score_batch", NAMES, 2, args, nargs, kwnames, a) ||
      !as_str(a[0], "score_batch", "kernel", kernel_text, kernel_keep) ||
      !as_sequence(a[1], "score_batch", "hands", hands_in, /*borrow=*/true))
    return nullptr;
  // Every item must be a str before the kernel is looked at. From here until
  // the hands are parsed into our own buffer no Python code runs and the lock
  // is held, so the items can be borrowed from the caller's sequence.
  const std::span<PyObject* const> items = hands_in.items();
  for (PyObject* item : items) {
    if (!PyUnicode_Check(item)) {
      PyErr_Format(PyExc_TypeError, "score_batch() argument 'hands' must hold str items, not %.200s",
                   Py_TYPE(item)->tp_name);
      return nullptr;
    }
  }

  const Kernel* kernel = kernel_named(kernel_text);
  if (kernel == nullptr) {
    const std::string message = "no kernel called " + quoted(kernel_text);
    PyErr_SetString(PyExc_ValueError, message.c_str());
    return nullptr;
  }
  auto parsed = parse_hands(items);
  if (!parsed) return nullptr;
  auto& hands = *parsed;
  if (!hands) return to_py(std::move(hands).error());

  std::vector<std::uint32_t> scores(items.size());
  {
    ReleaseGil unlocked;
    kernel->score_all(*hands, scores);
  }

  return to_list(scores);
}


}  // namespace vantor::py
