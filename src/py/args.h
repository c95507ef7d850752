// Fast-call argument parsing and conversion with CPython's own error types.
//
// Each entry point declares its parameter names once and asks for borrowed
// argument pointers, then converts each with the helpers below. Every helper
// returns false with a Python exception set on failure.
//
//   static constexpr const char* NAMES[] = {"text", "slots", "allow_short"};
//   PyObject* a[3];
//   if (!parse_args("parse_hand_field", NAMES, 2, args, nargs, kwnames, a)) return nullptr;
#pragma once

#include "py/pyref.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::py {

// Positional and keyword arguments into out[0..names.size()); parameters not
// given are left null. The first `required` parameters must be given.
bool parse_args(const char* function, std::span<const char* const> names, std::size_t required,
                PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

// A `str` as UTF-8 (valid while the object and `keep` live). TypeError for
// other types. A lone surrogate, which UTF-8 cannot carry, is written as its
// three-byte form (into a copy `keep` holds), so the readers meet it as one
// more character that is not a card and report it at its position.
bool as_str(PyObject* obj, const char* function, const char* arg, std::string_view& out,
            PyRef& keep);

// The one argument, `text`, of a function that takes a single string.
bool text_arg(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
              std::string_view& text, PyRef& keep);

// The UTF-8 of a `str` as `as_str` gives it, for an object known to be a str.
bool utf8_of(PyObject* str, std::string_view& out, PyRef& keep);

// A `str` from UTF-8 that may carry surrogates written by `as_str` (they come
// back in messages that quote the caller's text).
PyRef str_of(std::string_view utf8);
// An int (or an object with __index__) as unsigned: TypeError for other types,
// OverflowError when negative or too large.
bool as_u64(PyObject* obj, const char* function, const char* arg, std::uint64_t& out);
bool as_u8(PyObject* obj, const char* function, const char* arg, std::uint8_t& out);
bool as_size(PyObject* obj, const char* function, const char* arg, std::size_t& out);
// Only True or False.
bool as_bool(PyObject* obj, const char* function, const char* arg, bool& out);

// A list or tuple (or other sequence, but not a str or bytes) of items; keeps
// the items alive while the views are used. With `borrow` the items are not
// copied: only for a caller that is done with them before any Python code can
// run (no other conversion, no lock release), since the sequence itself could
// otherwise drop them.
struct Items {
  PyRef fast;  // a tuple of the items owned by the call, or the borrowed list or tuple
  std::vector<PyRef> encoded;  // UTF-8 copies of items with surrogates (see as_str)
  std::span<PyObject* const> items() const;
};
bool as_sequence(PyObject* obj, const char* function, const char* arg, Items& out,
                 bool borrow = false);

// A sequence of `str`; the views stay valid while `keep` lives.
bool as_str_list(PyObject* obj, const char* function, const char* arg, Items& keep,
                 std::vector<std::string_view>& out);

// A sequence of ints as unsigned 64-bit values.
bool as_u64_list(PyObject* obj, const char* function, const char* arg,
                 std::vector<std::uint64_t>& out);

// The quoted form of user text in messages: "..." with \" \\ \t \r \n and
// \u{hex} for other non-printable characters.
std::string quoted(std::string_view utf8);

}  // namespace vantor::py
