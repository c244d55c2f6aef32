#include "frame/convert.hpp"

#include <limits>

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

// Visits the elements of a list argument. A str is refused (it is a
// sequence of characters, almost never what the caller meant); the length
// is only a size hint; exact lists and tuples are read in place, anything
// else through its iterator.
template <class Reserve, class Each>
void for_each_item(PyObject* o, Reserve&& reserve, Each&& each) {
  if (PyUnicode_Check(o)) type_error("Can't extract `str` to `Vec`");
  if (!PySequence_Check(o)) cannot_convert(o, "Sequence");
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

}  // namespace

void name_argument_in_type_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref original_type = Ref::steal(type);
  Ref original = Ref::steal(value);
  Ref original_tb = Ref::steal(traceback);
  Ref text = Ref::steal(original ? PyObject_Str(original.get()) : nullptr);
  if (!text) return;
  Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!message) return;
  Ref renamed = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!renamed) return;
  // The new error stands in for the conversion's own; it carries that
  // error's cause, not the error itself.
  PyException_SetCause(renamed.get(), PyException_GetCause(original.get()));
  PyErr_SetObject(PyExc_TypeError, renamed.get());
}

double Convert<double>::from(PyObject* o) {
  if (PyFloat_CheckExact(o)) return PyFloat_AS_DOUBLE(o);
  const double x = PyFloat_AsDouble(o);
  if (x == -1.0 && PyErr_Occurred()) throw PythonError{};
  return x;
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
  for_each_item(o, kNoReserve,
                [&](PyObject* item) { values.push_back(from_float(Convert<double>::from(item))); });
  return values;
}

Series Convert<Series>::from(PyObject* o) {
  Series values;
  for_each_item(o, reserve_in(values),
                [&](PyObject* item) { values.push_back(from_float(Convert<double>::from(item))); });
  return values;
}

SeriesList Convert<SeriesList>::from(PyObject* o) {
  SeriesList rows;
  for_each_item(o, reserve_in(rows), [&](PyObject* item) { rows.push_back(Convert<Series>::from(item)); });
  return rows;
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
  return nan;
}

Ref float_to_python(const OptionalValue& v) {
  if (!v) {
    PyObject* nan = absent_float();
    if (nan == nullptr) throw PythonError{};
    return Ref::borrow(nan);
  }
  return check_new(PyFloat_FromDouble(*v));
}

}  // namespace

Ref to_python(std::span<const OptionalValue> values) {
  Ref list = check_new(PyList_New(static_cast<Py_ssize_t>(values.size())));
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), float_to_python(values[i]).release());
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
