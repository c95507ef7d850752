// The notation readers as Python sees them, and the list of games.
#include <string>

#include "notation/parser.h"
#include "py/args.h"
#include "py/module.h"
#include "variants/variants.h"  // for_each_variant and the per-game constants

namespace vantor::py {
namespace {

// Raises the error underlined against the text that was read; returns null.
PyObject* raise_underlined(const NotationError& error, std::string_view text) {
  PyRef value = str_of(error.underline(text));
  if (value) PyErr_SetObject(PyExc_ValueError, value.get());
  return nullptr;
}

PyRef mask_list(const Holding& holding) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(holding.size())));
  if (!list) return list;
  for (std::size_t i = 0; i < holding.size(); ++i) {
    PyObject* mask = PyLong_FromUnsignedLongLong(holding[i].mask());
    if (mask == nullptr) return PyRef();
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), mask);
  }
  return list;
}

PyRef text_of(std::string_view text) {
  return PyRef::steal(
      PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

// One game's row: key, label, hole_cards, board_cards, deck, deck_size, in that order.
template <class V>
PyRef variant_row() {
  PyRef row = PyRef::steal(PyDict_New());
  if (!row) return row;
  const std::pair<const char*, PyRef> fields[] = {
      {"key", text_of(V::KEY)},
      {"label", text_of(V::LABEL)},
      {"hole_cards", PyRef::steal(PyLong_FromUnsignedLong(V::HOLE_CARDS))},
      {"board_cards", PyRef::steal(PyLong_FromUnsignedLong(V::BOARD_CARDS))},
      {"deck", PyRef::steal(PyLong_FromUnsignedLongLong(V::DECK.mask()))},
      {"deck_size", PyRef::steal(PyLong_FromUnsignedLong(V::DECK_SIZE))},
  };
  for (const auto& [name, value] : fields)
    if (!value || PyDict_SetItemString(row.get(), name, value.get()) < 0) return PyRef();
  return row;
}

}  // namespace

PyObject* variants(PyObject*, PyObject*) {
  PyRef out = PyRef::steal(PyList_New(0));
  if (!out) return nullptr;
  bool ok = true;
  for_each_variant([&](auto v) {
    using V = typename decltype(v)::type;
    if (!ok) return;
    PyRef row = variant_row<V>();
    ok = row && PyList_Append(out.get(), row.get()) == 0;
  });
  if (!ok) return nullptr;
  return out.release();
}

PyObject* parse_hand_field(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"text", "slots", "allow_short"};
  PyObject* a[3];
  std::string_view text;
  PyRef keep;
  std::size_t slots = 0;
  bool allow_short = false;
  if (!parse_args("parse_hand_field", NAMES, 2, args, nargs, kwnames, a) ||
      !as_str(a[0], "parse_hand_field", "text", text, keep) ||
      !as_size(a[1], "parse_hand_field", "slots", slots) ||
      (a[2] != nullptr && !as_bool(a[2], "parse_hand_field", "allow_short", allow_short)))
    return nullptr;
  auto hand = parse_field(text, slots, !allow_short);
  if (!hand) return raise_underlined(hand.error(), text);
  const auto& holdings = hand->holdings;
  PyRef out = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(holdings.size())));
  if (!out) return nullptr;
  for (std::size_t i = 0; i < holdings.size(); ++i) {
    PyRef holding = mask_list(holdings[i]);
    if (!holding) return nullptr;
    PyList_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), holding.release());
  }
  return out.release();
}

PyObject* parse_dead_cards(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view text;
  PyRef keep;
  if (!text_arg("parse_dead_cards", args, nargs, kwnames, text, keep)) return nullptr;
  auto dead = parse_dead(text);
  if (!dead) return raise_underlined(dead.error(), text);
  return PyLong_FromUnsignedLongLong(dead->mask());
}

}  // namespace vantor::py
