// The card functions: names and indices, the full deck, the thread default.
#include <string>

#include "cards/card.h"
#include "odds/threads.h"
#include "py/args.h"
#include "py/module.h"

namespace vantor::py {

PyObject* card_index(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view text;
  PyRef keep;
  if (!text_arg("card_index", args, nargs, kwnames, text, keep)) return nullptr;
  auto cards = Card::parse_field(text);
  if (!cards) return to_py(std::move(cards).error());
  if (cards->size() != 1) {
    const std::string message =
        quoted(text) + " names " + std::to_string(cards->size()) + " cards, not one";
    PyErr_SetString(PyExc_ValueError, message.c_str());
    return nullptr;
  }
  return PyLong_FromUnsignedLong((*cards)[0].index());
}

PyObject* card_name(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* NAMES[] = {"index"};
  PyObject* a[1];
  std::uint8_t index = 0;
  if (!parse_args("card_name", NAMES, 1, args, nargs, kwnames, a) ||
      !as_u8(a[0], "card_name", "index", index))
    return nullptr;
  if (index > 51) return PyErr_Format(PyExc_ValueError, "%u is not a card index", unsigned{index});
  const auto chars = Card(index).chars();
  return PyUnicode_FromStringAndSize(chars.data(), 2);
}

PyObject* full_deck(PyObject*, PyObject*) {
  return PyLong_FromUnsignedLongLong(CardSet::full_deck().mask());
}

PyObject* default_thread_count(PyObject*, PyObject*) {
  return PyLong_FromSize_t(default_threads());
}

}  // namespace vantor::py
