#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vexal::py {

// An owned reference to a Python object. How it was obtained is visible at
// the call site: steal() takes over a new reference, borrow() adds one.
class Ref {
 public:
  Ref() = default;
  static Ref steal(PyObject* p) { return Ref(p); }
  static Ref borrow(PyObject* p) {
    Py_XINCREF(p);
    return Ref(p);
  }

  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(p_);
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  Ref(const Ref& other) : p_(other.p_) { Py_XINCREF(p_); }
  Ref& operator=(const Ref& other) {
    if (this != &other) *this = borrow(other.p_);
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  [[nodiscard]] PyObject* get() const { return p_; }
  // Hands the reference to the caller (e.g. as a C API return value).
  [[nodiscard]] PyObject* release() { return std::exchange(p_, nullptr); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* p) : p_(p) {}
  PyObject* p_ = nullptr;
};

}  // namespace vexal::py
