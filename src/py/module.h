// Shared pieces of the `vantor` module: the catch boundary every entry point
// runs behind, the conversion of engine errors, and the entry points.
#pragma once

#include "py/pyref.h"

#include <exception>
#include <new>
#if defined(__GLIBCXX__)
#include <cxxabi.h>  // abi::__forced_unwind
#endif

#include "error/error.h"

namespace vantor::py {

// Raises the module's internal-fault exception (distinct from ValueError).
PyObject* raise_internal(PyObject* module, const char* what);

// Raises a PokerError as ValueError carrying its display text; returns null.
PyObject* to_py(PokerError error);

// The keys of the result dictionaries as a tuple of interned strings, made
// once per module (by `new_result_keys`) so that a result creates no key
// strings; borrowed.
PyObject* result_keys(PyObject* module);
PyObject* new_result_keys();

using FastFunction = PyObject* (*)(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames);
using NoArgsFunction = PyObject* (*)(PyObject* module, PyObject* unused);

// No C++ exception crosses into CPython: allocation failures become
// MemoryError, anything else the internal-fault type. The one thing let
// through is the forced unwind by which a thread is ended (pthread_exit):
// swallowing it aborts the process, so these functions are not noexcept.
template <class Call>
PyObject* catch_faults(PyObject* module, Call&& call) {
  try {
    return call();
#if defined(__GLIBCXX__)
  } catch (abi::__forced_unwind&) {
    throw;
#endif
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    return raise_internal(module, e.what());
  } catch (...) {
    return raise_internal(module, "unknown internal fault");
  }
}

template <FastFunction F>
PyObject* guarded(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) {
  return catch_faults(module, [&] { return F(module, args, nargs, kwnames); });
}

template <NoArgsFunction F>
PyObject* guarded_noargs(PyObject* module, PyObject* unused) {
  return catch_faults(module, [&] { return F(module, unused); });
}

// Entry points, each defined beside the code it exposes.
PyObject* card_index(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* card_name(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* score_batch(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* full_deck(PyObject* module, PyObject* unused);
PyObject* default_thread_count(PyObject* module, PyObject* unused);
PyObject* variants(PyObject* module, PyObject* unused);
PyObject* chunk(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* chunk_from_text(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames);
PyObject* exact(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* exact_from_text(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames);
PyObject* parse_hand_field(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames);
PyObject* parse_dead_cards(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames);

}  // namespace vantor::py
