// Owned references and lock handling for the CPython binding.
//
// `PyRef` owns one strong reference and drops it when it goes out of scope;
// `ReleaseGil` releases the interpreter lock for a scope and takes it back on
// every exit path, exceptions included, so the catch boundary of an entry
// point always runs with the lock held.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <chrono>
#include <thread>
#include <utility>

namespace vantor::py {

class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference (may be null, e.g. after a failed call).
  static PyRef steal(PyObject* p) { return PyRef(p); }
  // Adds a reference of its own to a borrowed pointer.
  static PyRef new_ref(PyObject* p) {
    Py_XINCREF(p);
    return PyRef(p);
  }

  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  PyRef& operator=(PyRef&& o) noexcept {
    if (this != &o) {
      Py_XDECREF(p_);
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  // Hands the reference to the caller (e.g. as a function's return value).
  PyObject* release() { return std::exchange(p_, nullptr); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  explicit PyRef(PyObject* p) : p_(p) {}
  PyObject* p_ = nullptr;
};

// Takes the interpreter lock back for `thread`. While the interpreter is
// finalizing, CPython refuses the lock to every thread but the finalizing one
// and ends it by unwinding its stack (pthread_exit); unwinding our frames
// would run their destructors without the lock and end in std::terminate at
// the first noexcept frame. Such a thread instead sleeps here, inside the
// handler, until the process exits: its call's result is discarded.
[[gnu::noinline]] inline void take_back(PyThreadState* thread) noexcept {
  try {
    PyEval_RestoreThread(thread);
  } catch (...) {  // the forced unwind of a thread CPython is ending
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
}

class ReleaseGil {
 public:
  ReleaseGil() : state_(PyEval_SaveThread()) {}
  ~ReleaseGil() { take_back(state_); }
  ReleaseGil(const ReleaseGil&) = delete;
  ReleaseGil& operator=(const ReleaseGil&) = delete;

 private:
  PyThreadState* state_;
};

}  // namespace vantor::py
