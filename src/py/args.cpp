#include "py/args.h"

#include <cstdio>

#include "cards/text.h"  // decode_utf8, append_utf8

namespace vantor::py {
namespace {

bool type_error(const char* function, const char* arg, const char* expected, PyObject* obj) {
  PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %.200s", function, arg,
               expected, Py_TYPE(obj)->tp_name);
  return false;
}

}  // namespace

bool parse_args(const char* function, std::span<const char* const> names, std::size_t required,
                PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
  const auto total = static_cast<Py_ssize_t>(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) out[i] = nullptr;
  if (nargs > total) {
    PyErr_Format(PyExc_TypeError, "%s() takes at most %zd argument%s (%zd given)", function, total,
                 total == 1 ? "" : "s", nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];

  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t found = -1;
    for (Py_ssize_t i = 0; i < total; ++i) {
      if (PyUnicode_CompareWithASCIIString(key, names[static_cast<std::size_t>(i)]) == 0) {
        found = i;
        break;
      }
    }
    if (found < 0) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, key);
      return false;
    }
    if (out[found] != nullptr) {
      PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zd)",
                   function, names[static_cast<std::size_t>(found)], found + 1);
      return false;
    }
    out[found] = args[nargs + k];
  }
  for (std::size_t i = 0; i < required; ++i) {
    if (out[i] == nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", function,
                   names[i], i + 1);
      return false;
    }
  }
  return true;
}

bool utf8_of(PyObject* str, std::string_view& out, PyRef& keep) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(str, &size)) {
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
  }
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
  PyErr_Clear();
  keep = PyRef::steal(PyUnicode_AsEncodedString(str, "utf-8", "surrogatepass"));
  if (!keep) return false;
  out = std::string_view(PyBytes_AS_STRING(keep.get()),
                         static_cast<std::size_t>(PyBytes_GET_SIZE(keep.get())));
  return true;
}

bool text_arg(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
              std::string_view& text, PyRef& keep) {
  static constexpr const char* NAMES[] = {"text"};
  PyObject* a[1];
  return parse_args(function, NAMES, 1, args, nargs, kwnames, a) &&
         as_str(a[0], function, "text", text, keep);
}

bool as_str(PyObject* obj, const char* function, const char* arg, std::string_view& out,
            PyRef& keep) {
  if (!PyUnicode_Check(obj)) return type_error(function, arg, "str", obj);
  return utf8_of(obj, out, keep);
}

PyRef str_of(std::string_view utf8) {
  return PyRef::steal(
      PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "surrogatepass"));
}

bool as_u64(PyObject* obj, const char* function, const char* arg, std::uint64_t& out) {
  if (PyFloat_Check(obj) || !PyIndex_Check(obj)) return type_error(function, arg, "int", obj);
  PyRef index = PyRef::steal(PyNumber_Index(obj));
  if (!index) return false;
  const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = v;
  return true;
}

bool as_u8(PyObject* obj, const char* function, const char* arg, std::uint8_t& out) {
  std::uint64_t v = 0;
  if (!as_u64(obj, function, arg, v)) return false;
  if (v > 255) {
    PyErr_SetString(PyExc_OverflowError, "unsigned byte integer is greater than maximum");
    return false;
  }
  out = static_cast<std::uint8_t>(v);
  return true;
}

bool as_size(PyObject* obj, const char* function, const char* arg, std::size_t& out) {
  std::uint64_t v = 0;
  if (!as_u64(obj, function, arg, v)) return false;
  static_assert(sizeof(std::size_t) == sizeof(std::uint64_t), "64-bit platforms only");
  out = static_cast<std::size_t>(v);
  return true;
}

bool as_bool(PyObject* obj, const char* function, const char* arg, bool& out) {
  if (obj == Py_True) {
    out = true;
  } else if (obj == Py_False) {
    out = false;
  } else {
    return type_error(function, arg, "bool", obj);
  }
  return true;
}

std::span<PyObject* const> Items::items() const {
  if (!fast) return {};
  return {PySequence_Fast_ITEMS(fast.get()),
          static_cast<std::size_t>(PySequence_Fast_GET_SIZE(fast.get()))};
}

bool as_sequence(PyObject* obj, const char* function, const char* arg, Items& out,
                 bool borrow) {
  if (PyUnicode_Check(obj) || PyBytes_Check(obj) || PyByteArray_Check(obj) || !PySequence_Check(obj))
    return type_error(function, arg, "a sequence", obj);
  // By default a private tuple: item conversions may run user code (__index__)
  // and other threads may run while the lock is released, and neither must be
  // able to change or free the items we are reading.
  out.fast = PyRef::steal(borrow ? PySequence_Fast(obj, "expected a sequence")
                                 : PySequence_Tuple(obj));
  return static_cast<bool>(out.fast);
}

bool as_str_list(PyObject* obj, const char* function, const char* arg, Items& keep,
                 std::vector<std::string_view>& out) {
  if (!as_sequence(obj, function, arg, keep)) return false;
  const auto items = keep.items();
  out.clear();
  out.reserve(items.size());
  for (PyObject* item : items) {
    if (!PyUnicode_Check(item)) {
      PyErr_Format(PyExc_TypeError, "%s() argument '%s' must hold str items, not %.200s", function,
                   arg, Py_TYPE(item)->tp_name);
      return false;
    }
    std::string_view view;
    PyRef encoded;
    if (!as_str(item, function, arg, view, encoded)) return false;
    if (encoded) keep.encoded.push_back(std::move(encoded));
    out.push_back(view);
  }
  return true;
}

bool as_u64_list(PyObject* obj, const char* function, const char* arg,
                 std::vector<std::uint64_t>& out) {
  Items keep;
  if (!as_sequence(obj, function, arg, keep)) return false;
  const auto items = keep.items();
  out.clear();
  out.reserve(items.size());
  for (PyObject* item : items) {
    std::uint64_t v = 0;
    if (!as_u64(item, function, arg, v)) return false;
    out.push_back(v);
  }
  return true;
}

std::string quoted(std::string_view utf8) {
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Char c = decode_utf8(utf8, i);
    i += c.length;
    switch (c.value) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default:
        if (Py_UNICODE_ISPRINTABLE(static_cast<Py_UCS4>(c.value))) {
          append_utf8(out, c.value);
        } else {
          char buf[16];
          std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(c.value));
          out += buf;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace vantor::py
