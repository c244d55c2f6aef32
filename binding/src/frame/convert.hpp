#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "frame/errors.hpp"
#include "frame/ref.hpp"
#include "optional_value.hpp"
#include "traits.hpp"
#include "whole_store.hpp"

namespace vexal::py {

// The allocator of every buffer that grows with an argument being
// converted. Its failure must surface as std::bad_alloc (a MemoryError for
// the caller) wherever the process runs: a failing throwing new aborts
// under AddressSanitizer, a failing nothrow new returns null there too.
template <class T>
struct GrowthAllocator {
  using value_type = T;
  GrowthAllocator() = default;
  template <class U>
  GrowthAllocator(const GrowthAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
    void* p = ::operator new(n * sizeof(T), std::nothrow);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) noexcept { ::operator delete(p); }
  friend bool operator==(const GrowthAllocator&, const GrowthAllocator&) { return true; }
};
template <class T>
using GrowingVector = std::vector<T, GrowthAllocator<T>>;

// A converted list of floats (a dataset column, a fitting sample).
using FloatList = GrowingVector<OptionalValue>;

// One bar's values, converted without touching the heap for the usual
// handful of columns. The inline slots are left unwritten until a value
// lands in them: a live bar is converted on every update, and clearing
// room for sixteen values would cost more than reading the one or two a
// bar usually has.
class BarValues {
 public:
  static constexpr std::size_t inline_capacity = 16;

  BarValues() noexcept {}
  BarValues(BarValues&& other) noexcept : heap_(std::move(other.heap_)), size_(other.size_) {
    if (heap_.empty()) std::copy_n(other.inline_data(), size_, inline_data());
  }
  BarValues(const BarValues&) = delete;
  BarValues& operator=(const BarValues&) = delete;
  BarValues& operator=(BarValues&&) = delete;
  ~BarValues() = default;

  void push_back(OptionalValue v) {
    if (heap_.empty() && size_ < inline_capacity) {
      // One whole store: the transform's first read of the bar is a 16-byte
      // copy that two smaller stores could not forward.
      store_whole(storage_ + size_ * sizeof(OptionalValue), v);
    } else {
      if (heap_.empty()) heap_.assign(inline_data(), inline_data() + size_);
      heap_.push_back(v);
    }
    ++size_;
  }

  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  [[nodiscard]] bool on_heap() const { return !heap_.empty(); }
  [[nodiscard]] std::span<const OptionalValue> values() const {
    if (on_heap()) return {heap_.data(), heap_.size()};
    return {inline_data(), size_};
  }

 private:
  OptionalValue* inline_data() { return std::launder(reinterpret_cast<OptionalValue*>(storage_)); }
  const OptionalValue* inline_data() const {
    return std::launder(reinterpret_cast<const OptionalValue*>(storage_));
  }

  static_assert(std::is_trivially_copyable_v<OptionalValue> &&
                std::is_trivially_destructible_v<OptionalValue>);
  alignas(OptionalValue) std::byte storage_[inline_capacity * sizeof(OptionalValue)];
  GrowingVector<OptionalValue> heap_;
  std::size_t size_ = 0;
};

// A target pipeline's dataset: one list per column.
using SeriesList = GrowingVector<FloatList>;

// A feature pipeline's dataset: every bar's values in one flat run, bar
// after bar. A million bars cost two growing vectors rather than a million
// small ones, and the bars may differ in length (the pipeline reports the
// first that is wrong).
class BarTable {
 public:
  void reserve(std::size_t bars, std::size_t values) {
    ends_.reserve(bars);
    values_.reserve(values);
  }
  void push_back(OptionalValue v) { values_.push_back(v); }
  void end_bar() { ends_.push_back(values_.size()); }

  // `bars` bars of `width` values each, as a 2-D array holds them: the
  // values only, with no end per bar (a zero-width table costs nothing).
  void reserve_uniform(std::size_t bars, std::size_t width) {
    uniform_ = Uniform{bars, width};
    values_.reserve(bars * width);
  }

  [[nodiscard]] std::size_t size() const { return uniform_ ? uniform_->bars : ends_.size(); }
  [[nodiscard]] std::span<const OptionalValue> bar(std::size_t i) const {
    if (uniform_) return std::span(values_).subspan(i * uniform_->width, uniform_->width);
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::span(values_).subspan(begin, ends_[i] - begin);
  }

 private:
  struct Uniform {
    std::size_t bars;
    std::size_t width;
  };
  GrowingVector<OptionalValue> values_;
  GrowingVector<std::size_t> ends_;  // one past each bar's last value
  std::optional<Uniform> uniform_;
};

// The shape of a 2-D float64 array that a BarTable or SeriesList reads
// straight from its buffer; absent for anything that is iterated instead.
// Lets a caller check the shape against what it expects before converting.
struct TableShape {
  std::size_t rows;
  std::size_t columns;
};
[[nodiscard]] std::optional<TableShape> float_table_shape(PyObject* o);
using Objects = std::vector<Ref>;

// NaN is the boundary's marker for a missing value.
inline OptionalValue from_float(double x) { return std::isnan(x) ? OptionalValue() : OptionalValue(x); }

// Re-raises a pending TypeError as "argument '<name>': <message>", keeping
// the original's cause. Other exceptions pass unchanged.
void name_argument_in_type_error(const char* name);

// Python object -> core value. Each throws PythonError with the
// interpreter's or the binding's own message on failure.
//
// The float lists (BarValues, FloatList, and each inner list of a SeriesList
// or BarTable) read a numpy array, an array.array or a memoryview holding
// native float64 values straight from its buffer (any strides) instead of
// iterating it; a SeriesList or BarTable also reads a 2-D numpy array or
// memoryview row by row that way. Iteration would yield exactly the same
// floats, so results and errors do not depend on the path; any other
// buffer (another item type, a subclass) is iterated as before, except a
// memoryview that cannot be iterated (another byte order, several items
// per element, several dimensions), which is refused with a TypeError.
template <class T>
struct Convert;

template <>
struct Convert<double> {
  static double from(PyObject* o);
};
// Only True or False: a flag given as 0, 1 or None is more likely a slip
// than a choice.
template <>
struct Convert<bool> {
  static bool from(PyObject* o);
};
template <>
struct Convert<std::uint64_t> {
  static std::uint64_t from(PyObject* o);
};
template <>
struct Convert<std::string> {
  static std::string from(PyObject* o);
};
template <>
struct Convert<Names> {
  static Names from(PyObject* o);
};
template <>
struct Convert<BarValues> {
  static BarValues from(PyObject* o);
};
template <>
struct Convert<FloatList> {
  static FloatList from(PyObject* o);
};
template <>
struct Convert<SeriesList> {
  static SeriesList from(PyObject* o);
};
template <>
struct Convert<BarTable> {
  static BarTable from(PyObject* o);
};
template <>
struct Convert<Objects> {
  static Objects from(PyObject* o);
};

// Core value -> new Python object.
Ref to_python(std::span<const OptionalValue> values);
Ref to_python(std::span<const Series> columns);
Ref to_python(const Names& names);
Ref to_python(std::string_view text);
Ref size_to_python(std::size_t n);

}  // namespace vexal::py
