#include "frame/convert.hpp"

#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace vexal::py {
namespace {

[[noreturn]] void type_error(const std::string& msg) {
  PyErr_SetString(PyExc_TypeError, msg.c_str());
  throw PythonError{};
}

std::string type_name(PyObject* o) {
  Ref name = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(o)), "__qualname__"));
  if (!name || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return Py_TYPE(o)->tp_name;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size);
  if (text == nullptr) {
    PyErr_Clear();
    return Py_TYPE(o)->tp_name;
  }
  return std::string(text, static_cast<std::size_t>(size));
}

[[noreturn]] void cannot_convert(PyObject* o, const char* target) {
  type_error("'" + type_name(o) + "' object cannot be converted to '" + target + "'");
}

// A memoryview iterates only one dimension of one native item ("d", "@i",
// ...); for anything else its iterator raises NotImplementedError, which is
// turned into the conversion's TypeError here, before iterating. A view
// whose buffer cannot be read (a released one) is left to iteration and
// its own error.
void refuse_uniterable_memoryview(PyObject* o) {
  Py_buffer view;
  if (PyObject_GetBuffer(o, &view, PyBUF_RECORDS_RO) != 0) {
    PyErr_Clear();
    return;
  }
  const std::string format = view.format != nullptr ? view.format : "B";
  const int ndim = view.ndim;
  PyBuffer_Release(&view);
  const std::string_view item = format.starts_with('@') ? std::string_view(format).substr(1) : format;
  const bool one_native_item =
      item.size() == 1 && std::string_view("?cbBhHiIlLqQnNefdP").find(item[0]) != std::string_view::npos;
  if (ndim == 1 && one_native_item) return;
  type_error("'memoryview' object of format '" + format + "' with " + std::to_string(ndim) +
             " dimension(s) cannot be converted to 'Sequence'");
}

// Visits the elements of a list argument. A str is refused (it is a
// sequence of characters, almost never what the caller meant); the length
// is only a size hint; exact lists and tuples are read in place, anything
// else through its iterator.
template <class Reserve, class Each>
void for_each_item(PyObject* o, Reserve&& reserve, Each&& each) {
  if (PyUnicode_Check(o)) type_error("Can't extract `str` to `Vec`");
  if (!PySequence_Check(o)) cannot_convert(o, "Sequence");
  if (PyMemoryView_Check(o)) refuse_uniterable_memoryview(o);
  if (PyList_CheckExact(o)) {
    reserve(static_cast<std::size_t>(PyList_GET_SIZE(o)));
    // The size is re-read every step: an element's conversion may run user
    // code that changes the list, exactly as iteration would see it.
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(o); ++i) {
      Ref item = Ref::borrow(PyList_GET_ITEM(o, i));
      each(item.get());
    }
    return;
  }
  if (PyTuple_CheckExact(o)) {
    reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(o)));
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(o); ++i) each(PyTuple_GET_ITEM(o, i));
    return;
  }
  const Py_ssize_t hint = PySequence_Size(o);
  if (hint < 0) {
    PyErr_Clear();
  } else {
    reserve(static_cast<std::size_t>(hint));
  }
  Ref iter = check_new(PyObject_GetIter(o));
  while (Ref item = Ref::steal(PyIter_Next(iter.get()))) each(item.get());
  if (PyErr_Occurred()) throw PythonError{};
}

constexpr auto kNoReserve = [](std::size_t) {};

template <class Container>
auto reserve_in(Container& c) {
  // A hostile __len__ may claim anything; the hint never reserves beyond
  // what a real sequence could hold.
  return [&c](std::size_t n) { c.reserve(std::min<std::size_t>(n, 1u << 20)); };
}

// One element of a float list. An exact float is read in place; anything
// else goes through the interpreter's float conversion.
OptionalValue bar_value(PyObject* item) {
  if (PyFloat_CheckExact(item)) return from_float(PyFloat_AS_DOUBLE(item));
  return from_float(Convert<double>::from(item));
}

// -- Buffers of float64 ------------------------------------------------------

// The types whose buffer may be read in place of iterating them. Only the
// exact types qualify: iterating them yields exactly the float64 values in
// their buffer, while a subclass may yield something else (a masked array
// yields NaN for a masked slot whatever its buffer holds). numpy and array
// are found once, by name, among the modules already imported (an object
// of their type cannot exist otherwise), and kept for the process's life.
enum class Exporter { kNone, kNumpy, kArray, kMemoryView };

PyTypeObject* find_type(const char* module_name, const char* attribute) {
  Ref name = Ref::steal(PyUnicode_FromString(module_name));
  Ref module = Ref::steal(name ? PyImport_GetModule(name.get()) : nullptr);
  Ref type = Ref::steal(module ? PyObject_GetAttrString(module.get(), attribute) : nullptr);
  PyErr_Clear();
  if (!type || !PyType_Check(type.get())) return nullptr;
  return reinterpret_cast<PyTypeObject*>(type.release());
}

Exporter exporter_of(PyObject* o) {
  static PyTypeObject* numpy_array = nullptr;
  static PyTypeObject* array_array = nullptr;
  PyTypeObject* type = Py_TYPE(o);
  if (type == &PyMemoryView_Type) return Exporter::kMemoryView;
  if (type == numpy_array) return Exporter::kNumpy;
  if (type == array_array) return Exporter::kArray;
  if (type->tp_as_buffer == nullptr || type->tp_as_buffer->bf_getbuffer == nullptr) return Exporter::kNone;
  if (numpy_array == nullptr && std::strcmp(type->tp_name, "numpy.ndarray") == 0) {
    numpy_array = find_type("numpy", "ndarray");
    if (type == numpy_array) return Exporter::kNumpy;
  }
  if (array_array == nullptr && std::strcmp(type->tp_name, "array.array") == 0) {
    array_array = find_type("array", "array");
    if (type == array_array) return Exporter::kArray;
  }
  return Exporter::kNone;
}

// Whether the buffer holds one native float64 per item: "d" or "@d", or
// one of the standard-size spellings of the same little-endian double
// ("=d", "<d") that numpy gives an unaligned array and a memoryview may be
// cast to (which it then refuses to iterate).
bool is_float64(const Py_buffer& view) {
  if (view.itemsize != sizeof(double) || view.format == nullptr) return false;
  const std::string_view format(view.format);
  static_assert(std::endian::native == std::endian::little);
  return format == "d" || format == "@d" || format == "=d" || format == "<d";
}

// A float64 buffer of the expected number of dimensions, any strides, held
// while it is read; false when the object offers no such buffer, with no
// error left set, so the caller falls back to iteration and its messages.
class FloatBuffer {
 public:
  FloatBuffer(PyObject* o, int ndim) {
    const Exporter exporter = exporter_of(o);
    // A 2-D array.array does not exist; only numpy and memoryview qualify.
    if (exporter == Exporter::kNone || (ndim == 2 && exporter == Exporter::kArray)) return;
    if (PyObject_GetBuffer(o, &view_, PyBUF_RECORDS_RO) != 0) {
      PyErr_Clear();
      return;
    }
    held_ = true;
    usable_ = view_.ndim == ndim && is_float64(view_);
  }
  FloatBuffer(const FloatBuffer&) = delete;
  FloatBuffer& operator=(const FloatBuffer&) = delete;
  ~FloatBuffer() {
    if (held_) PyBuffer_Release(&view_);
  }

  explicit operator bool() const { return usable_; }

  [[nodiscard]] std::size_t rows() const { return static_cast<std::size_t>(view_.shape[0]); }
  [[nodiscard]] std::size_t columns() const {
    return view_.ndim == 2 ? static_cast<std::size_t>(view_.shape[1]) : 1;
  }
  // Item (r, c) of a 2-D buffer, or item r of a 1-D one, as a bar value.
  // The bytes are copied out: numpy may hand over an unaligned buffer.
  [[nodiscard]] OptionalValue at(std::size_t r, std::size_t c = 0) const {
    const char* p = static_cast<const char*>(view_.buf) + static_cast<Py_ssize_t>(r) * view_.strides[0];
    if (view_.ndim == 2) p += static_cast<Py_ssize_t>(c) * view_.strides[1];
    double x;
    std::memcpy(&x, p, sizeof(double));
    return from_float(x);
  }
  // The item count of a 1-D buffer.
  [[nodiscard]] std::size_t size() const { return rows(); }

 private:
  Py_buffer view_{};
  bool held_ = false;
  bool usable_ = false;
};

FloatList row_of(const FloatBuffer& buffer, std::size_t r) {
  const std::size_t width = buffer.columns();
  FloatList values(width);
  for (std::size_t c = 0; c < width; ++c) values[c] = buffer.at(r, c);
  return values;
}

// Visits the values of a float list: an exact list in place (the common
// live bar), a float64 buffer directly, anything else as for_each_item does.
// `reserve` is told the true length of a list or buffer, `hint` the
// object's own claim for anything else.
template <class Reserve, class Hint, class Push>
void for_each_value(PyObject* o, Reserve&& reserve, Hint&& hint, Push&& push) {
  if (PyList_CheckExact(o)) {
    reserve(static_cast<std::size_t>(PyList_GET_SIZE(o)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(o); ++i) {
      PyObject* item = PyList_GET_ITEM(o, i);
      if (PyFloat_CheckExact(item)) {
        push(from_float(PyFloat_AS_DOUBLE(item)));
        continue;
      }
      // Converting anything but a float may run user code that changes
      // the list; the element is held while it converts.
      Ref held = Ref::borrow(item);
      push(from_float(Convert<double>::from(held.get())));
    }
    return;
  }
  if (const FloatBuffer buffer(o, 1); buffer) {
    const std::size_t n = buffer.size();
    reserve(n);
    for (std::size_t i = 0; i < n; ++i) push(buffer.at(i));
    return;
  }
  for_each_item(o, hint, [&](PyObject* item) { push(bar_value(item)); });
}

}  // namespace

void name_argument_in_type_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Ref original_type = Ref::steal(type);
  Ref original = Ref::steal(value);
  Ref original_tb = Ref::steal(traceback);
  // Whatever goes wrong while naming the argument (a __str__ that raises,
  // say), the conversion's own error is what the caller gets.
  const auto keep_original = [&] {
    PyErr_Clear();
    PyErr_Restore(original_type.release(), original.release(), original_tb.release());
  };
  Ref text = Ref::steal(original ? PyObject_Str(original.get()) : nullptr);
  if (!text) return keep_original();
  Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!message) return keep_original();
  Ref renamed = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!renamed) return keep_original();
  if (Py_IS_TYPE(original.get(), reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
    // The new error stands in for the conversion's own; it carries that
    // error's cause, not the error itself.
    PyException_SetCause(renamed.get(), PyException_GetCause(original.get()));
  } else {
    // A subclass says more than TypeError does: it stays reachable as the
    // cause, so neither its type nor its fields are lost.
    PyException_SetCause(renamed.get(), Py_NewRef(original.get()));
  }
  PyErr_SetObject(PyExc_TypeError, renamed.get());
}

double Convert<double>::from(PyObject* o) {
  if (PyFloat_CheckExact(o)) return PyFloat_AS_DOUBLE(o);
  const double x = PyFloat_AsDouble(o);
  if (x == -1.0 && PyErr_Occurred()) throw PythonError{};
  return x;
}

bool Convert<bool>::from(PyObject* o) {
  if (!PyBool_Check(o)) {
    PyErr_Format(PyExc_TypeError, "must be True or False, not %.200s", Py_TYPE(o)->tp_name);
    throw PythonError{};
  }
  return o == Py_True;
}

std::uint64_t Convert<std::uint64_t>::from(PyObject* o) {
  Ref index = check_new(PyNumber_Index(o));
  const unsigned long long n = PyLong_AsUnsignedLongLong(index.get());
  if (n == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) throw PythonError{};
  return n;
}

std::string Convert<std::string>::from(PyObject* o) {
  if (!PyUnicode_Check(o)) cannot_convert(o, "PyString");
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(o, &size);
  if (text == nullptr) throw PythonError{};
  return std::string(text, static_cast<std::size_t>(size));
}

Names Convert<Names>::from(PyObject* o) {
  Names names;
  for_each_item(o, reserve_in(names),
                [&](PyObject* item) { names.push_back(Convert<std::string>::from(item)); });
  return names;
}

BarValues Convert<BarValues>::from(PyObject* o) {
  BarValues values;
  for_each_value(o, kNoReserve, kNoReserve, [&](OptionalValue v) { values.push_back(v); });
  return values;
}

FloatList Convert<FloatList>::from(PyObject* o) {
  FloatList values;
  for_each_value(
      o, [&](std::size_t n) { values.reserve(n); }, reserve_in(values),
      [&](OptionalValue v) { values.push_back(v); });
  return values;
}

SeriesList Convert<SeriesList>::from(PyObject* o) {
  SeriesList rows;
  if (const FloatBuffer buffer(o, 2); buffer) {
    const std::size_t n = buffer.rows();
    rows.reserve(n);
    for (std::size_t r = 0; r < n; ++r) rows.push_back(row_of(buffer, r));
    return rows;
  }
  for_each_item(o, reserve_in(rows), [&](PyObject* item) { rows.push_back(Convert<FloatList>::from(item)); });
  return rows;
}

// Millions of bars take a while to convert: an interrupt is answered every
// few thousand, before the pipeline is touched.
BarTable Convert<BarTable>::from(PyObject* o) {
  constexpr std::size_t kBarsBetweenSignals = std::size_t{1} << 16;
  const auto check_signals = [](std::size_t bar) {
    if (bar % kBarsBetweenSignals == kBarsBetweenSignals - 1 && PyErr_CheckSignals() != 0)
      throw PythonError{};
  };
  BarTable bars;
  if (const FloatBuffer buffer(o, 2); buffer) {
    const std::size_t n = buffer.rows();
    const std::size_t width = buffer.columns();
    bars.reserve_uniform(n, width);
    for (std::size_t r = 0; r < n; ++r) {
      for (std::size_t c = 0; c < width; ++c) bars.push_back(buffer.at(r, c));
      check_signals(r);
    }
    return bars;
  }
  const auto push = [&](OptionalValue v) { bars.push_back(v); };
  std::size_t count = 0;
  for_each_item(
      o, [&](std::size_t n) { bars.reserve(std::min<std::size_t>(n, 1u << 20), 0); },
      [&](PyObject* bar) {
        for_each_value(bar, kNoReserve, kNoReserve, push);
        bars.end_bar();
        check_signals(count++);
      });
  return bars;
}

std::optional<TableShape> float_table_shape(PyObject* o) {
  const FloatBuffer buffer(o, 2);
  if (!buffer) return std::nullopt;
  return TableShape{buffer.rows(), buffer.columns()};
}

Objects Convert<Objects>::from(PyObject* o) {
  Objects objects;
  for_each_item(o, reserve_in(objects), [&](PyObject* item) { objects.push_back(Ref::borrow(item)); });
  return objects;
}

namespace {

// One NaN object serves every absent value: the quiet NaN 0x7FF8000000000000.
PyObject* absent_float() {
  static PyObject* nan = PyFloat_FromDouble(std::numeric_limits<double>::quiet_NaN());
  if (nan == nullptr) throw PythonError{};
  return nan;
}

}  // namespace

// Each value goes straight into its slot of a list of the exact length. A
// list whose item failed to convert is released with its remaining slots
// still empty, which the interpreter allows.
Ref to_python(std::span<const OptionalValue> values) {
  PyObject* nan = absent_float();
  Ref list = check_new(PyList_New(static_cast<Py_ssize_t>(values.size())));
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* item = nullptr;
    if (values[i]) {
      item = check(PyFloat_FromDouble(*values[i]));
    } else {
      item = Py_NewRef(nan);
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

Ref to_python(std::span<const Series> columns) {
  Ref list = check_new(PyList_New(static_cast<Py_ssize_t>(columns.size())));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_python(std::span(columns[i])).release());
  }
  return list;
}

Ref to_python(const Names& names) {
  Ref list = check_new(PyList_New(static_cast<Py_ssize_t>(names.size())));
  for (std::size_t i = 0; i < names.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_python(std::string_view(names[i])).release());
  }
  return list;
}

Ref to_python(std::string_view text) {
  return check_new(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

Ref size_to_python(std::size_t n) { return check_new(PyLong_FromUnsignedLongLong(n)); }

}  // namespace vexal::py
