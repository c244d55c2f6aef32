#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frame/errors.hpp"
#include "frame/ref.hpp"
#include "optional_value.hpp"
#include "small_vector.hpp"
#include "traits.hpp"

namespace vexal::py {

// One bar's values, converted without touching the heap for the usual
// handful of columns.
using BarValues = SmallVector<OptionalValue, 16>;
// A dataset: one series per bar (feature pipelines) or per column (targets).
using SeriesList = std::vector<Series>;
using Objects = std::vector<Ref>;

// NaN is the boundary's marker for a missing value.
inline OptionalValue from_float(double x) { return std::isnan(x) ? OptionalValue() : OptionalValue(x); }

// Re-raises a pending TypeError as "argument '<name>': <message>", keeping
// the original's cause. Other exceptions pass unchanged.
void name_argument_in_type_error(const char* name);

// Python object -> core value. Each throws PythonError with the
// interpreter's or the binding's own message on failure.
template <class T>
struct Convert;

template <>
struct Convert<double> {
  static double from(PyObject* o);
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
struct Convert<Series> {
  static Series from(PyObject* o);
};
template <>
struct Convert<SeriesList> {
  static SeriesList from(PyObject* o);
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
