#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <expected>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "error.hpp"
#include "frame/ref.hpp"

namespace vexal::py {

// Thrown once the Python error indicator has been set; the catch point just
// returns the failure value to the interpreter.
struct PythonError {};

// A call that collides with a borrow already held on the same object.
class BorrowConflict : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws PythonError if the C API call that returned `p` failed.
inline PyObject* check(PyObject* p) {
  if (p == nullptr) throw PythonError{};
  return p;
}
inline Ref check_new(PyObject* p) { return Ref::steal(check(p)); }

// Raises a core error as ValueError with its display text.
[[noreturn]] void raise_core_error(const VexalError& error);

template <class T>
T unwrap(std::expected<T, VexalError>&& result) {
  if (!result) raise_core_error(result.error());
  if constexpr (!std::is_void_v<T>) return std::move(*result);
}

// The exception class for internal failures: derived from BaseException so
// that `except Exception` does not swallow it. Created once.
PyObject* panic_exception_type();

// Sets the Python error for whatever escaped a call. Called only from the
// catch points below.
void set_error_from_current_exception() noexcept;

// The single catch point of every entry point: runs `body` and turns
// anything that escapes into exactly one Python exception.
template <class F>
auto guarded(F&& body, decltype(body()) failure) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    set_error_from_current_exception();
    return failure;
  }
}

template <class F>
PyObject* guarded(F&& body) noexcept {
  return guarded(std::forward<F>(body), static_cast<PyObject*>(nullptr));
}

}  // namespace vexal::py
