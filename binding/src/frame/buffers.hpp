#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <vector>

#include "columns/column.hpp"
#include "traits.hpp"

namespace vexal::py {

// A buffer held for as long as the object lives: released exactly once.
class HeldBuffer {
 public:
  HeldBuffer() = default;
  HeldBuffer(HeldBuffer&& other) noexcept : view_(other.view_), held_(other.held_) { other.held_ = false; }
  HeldBuffer& operator=(HeldBuffer&&) = delete;
  HeldBuffer(const HeldBuffer&) = delete;
  HeldBuffer& operator=(const HeldBuffer&) = delete;
  ~HeldBuffer() {
    if (held_) PyBuffer_Release(&view_);
  }

  // Asks `o` for a buffer with `flags`; false, with the error still set, if refused.
  bool acquire(PyObject* o, int flags);
  [[nodiscard]] const Py_buffer& view() const { return view_; }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// How the items of a buffer are read: the types numpy, array and memoryview
// export for numbers, each converted to double natively.
enum class ItemKind : std::uint8_t {
  kFloat64,
  kFloat32,
  kInt8,
  kUInt8,
  kInt16,
  kUInt16,
  kInt32,
  kUInt32,
  kInt64,
  kUInt64,
  kBool,
};

// One column of a buffer: `count` items of one kind, `stride` bytes apart.
struct StridedColumn {
  char* base;
  Py_ssize_t stride;
  ItemKind kind;

  // Rows [begin, begin + n) as values, a NaN read as absent (the boundary's
  // marker for a missing value, as everywhere else).
  void read(std::size_t begin, std::size_t n, ColumnOut into) const;
  // Rows [begin, begin + n) of a float64 column from `from`, NaN for absent.
  void write(std::size_t begin, std::size_t n, ColumnIn from) const;
};

// The memory of one column, for overlap checks: `count` items, `stride`
// bytes apart.
struct Run {
  const char* base;
  Py_ssize_t stride;
  std::size_t count;
};

// A table argument of bars × columns: one 2-D buffer in any order and with
// any strides, or a sequence of 1-D buffers, one per column. Everything is
// checked when it is built, with messages naming the argument, so a call
// fails before it changes anything.
class ColumnTable {
 public:
  // Input: items of any supported kind; `names` are the columns expected.
  static ColumnTable input(PyObject* o, const char* arg, const Names& names);
  // Output: writable float64, `bars` rows, one column per name, no two
  // items sharing memory.
  static ColumnTable output(PyObject* o, const char* arg, std::size_t bars, const Names& names);

  [[nodiscard]] std::size_t rows() const { return rows_; }
  [[nodiscard]] const StridedColumn& column(std::size_t j) const { return columns_[j]; }
  // Rows [begin, begin + n) of every column into `into`, one per column. A
  // row-major 2-D buffer is read row by row, so each row's bytes are read
  // once rather than once per column.
  // Columns whose entry in `wanted` is 0 are skipped.
  void read(std::size_t begin, std::size_t n, std::span<const ColumnOut> into,
            std::span<const std::uint8_t> wanted = {}) const;
  // Rows [begin, begin + n) of every column from `from`, one per column,
  // NaN for absent. A row-major 2-D buffer is written row by row: one pass
  // over its memory instead of one strided pass per column.
  void write(std::size_t begin, std::size_t n, std::span<const ColumnIn> from) const;
  // Refuses any memory this output shares with `input`.
  void refuse_overlap(const ColumnTable& input) const;

 private:
  ColumnTable(const char* arg) : arg_(arg) {}

  // Holds `buffer`, whose columns from `first_column` on were just added.
  void add(HeldBuffer buffer, const std::string& where, std::size_t first_column);

  std::string arg_;
  std::vector<HeldBuffer> buffers_;
  std::vector<Run> runs_;           // one per column
  std::vector<std::string> where_;  // how each column is named in messages
  std::vector<StridedColumn> columns_;
  std::size_t rows_ = 0;
  bool row_major_ = false;  // one 2-D buffer whose rows are its inner dimension
};

// Runs `body` with the interpreter lock released; anything it throws is
// rethrown once the lock is held again. The body must not touch Python.
template <class F>
void without_gil(F&& body) {
  std::exception_ptr failure;
  Py_BEGIN_ALLOW_THREADS;
  try {
    body();
  } catch (...) {
    failure = std::current_exception();
  }
  Py_END_ALLOW_THREADS;
  if (failure) std::rethrow_exception(failure);
}

}  // namespace vexal::py
