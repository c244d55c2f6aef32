#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "frame/args.hpp"
#include "frame/buffers.hpp"

namespace vexal::py {

// Argument i as a thread count: at least one, and a negative count is
// named as such rather than as a failed conversion to an unsigned integer.
std::size_t thread_count(const Args& args, std::size_t i, const char* name);

// The groups of a batch: rows [starts[g], starts[g + 1]) of the tables are
// group g. A 1-D int64 buffer, rising, within the tables' rows.
class GroupStarts {
 public:
  GroupStarts(PyObject* o, std::size_t rows) {
    if (!held_.acquire(o, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS)) fail();
    const Py_buffer& view = held_.view();
    const std::string_view format = view.format != nullptr ? view.format : "B";
    if (view.ndim != 1 || view.itemsize != 8 || (format != "l" && format != "q") || view.shape[0] < 1) fail();
    starts_ = std::span(static_cast<const std::int64_t*>(view.buf), static_cast<std::size_t>(view.shape[0]));
    for (std::size_t g = 0; g < starts_.size(); ++g) {
      const bool falls = g > 0 && starts_[g] < starts_[g - 1];
      if (starts_[g] < 0 || static_cast<std::size_t>(starts_[g]) > rows || falls) {
        PyErr_Format(PyExc_ValueError, "starts: must rise within the %zu rows of the data", rows);
        throw PythonError{};
      }
    }
  }
  [[nodiscard]] std::size_t groups() const { return starts_.size() - 1; }
  [[nodiscard]] std::size_t begin(std::size_t g) const { return static_cast<std::size_t>(starts_[g]); }
  [[nodiscard]] std::size_t end(std::size_t g) const { return static_cast<std::size_t>(starts_[g + 1]); }

 private:
  [[noreturn]] static void fail() {
    PyErr_Clear();
    PyErr_SetString(PyExc_TypeError, "starts: must be a non-empty 1-D int64 buffer");
    throw PythonError{};
  }
  HeldBuffer held_;
  std::span<const std::int64_t> starts_;
};

}  // namespace vexal::py
