#include "frame/buffers.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "frame/errors.hpp"
#include "frame/ref.hpp"
#include "text/list_form.hpp"

namespace vexal::py {
namespace {

[[noreturn]] void raise(PyObject* type, const std::string& msg) {
  PyErr_SetString(type, msg.c_str());
  throw PythonError{};
}

std::string type_name(PyObject* o) { return Py_TYPE(o)->tp_name; }

std::string shape_of(const Py_buffer& v) {
  std::string text = "(";
  for (int i = 0; i < v.ndim; ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(v.shape[i]);
  }
  return text + (v.ndim == 1 ? ",)" : ")");
}

std::string format_of(const Py_buffer& v) { return v.format == nullptr ? "B" : v.format; }

// The item kind a buffer format names, for the sizes the exporter reports;
// none for anything else (half floats, complex, records, big-endian data).
std::optional<ItemKind> item_kind(const Py_buffer& v) {
  std::string_view f = v.format == nullptr ? "B" : v.format;
  static_assert(std::endian::native == std::endian::little);
  if (!f.empty() && (f[0] == '@' || f[0] == '=' || f[0] == '<' || f[0] == '>' || f[0] == '!')) {
    if ((f[0] == '>' || f[0] == '!') && v.itemsize > 1) return std::nullopt;
    f.remove_prefix(1);
  }
  if (f.size() != 1) return std::nullopt;
  const char code = f[0];
  const Py_ssize_t size = v.itemsize;
  switch (code) {
    case 'd':
      return size == 8 ? std::optional(ItemKind::kFloat64) : std::nullopt;
    case 'f':
      return size == 4 ? std::optional(ItemKind::kFloat32) : std::nullopt;
    case '?':
      return size == 1 ? std::optional(ItemKind::kBool) : std::nullopt;
    case 'b':
    case 'h':
    case 'i':
    case 'l':
    case 'q':
    case 'n':
      if (size == 1) return ItemKind::kInt8;
      if (size == 2) return ItemKind::kInt16;
      if (size == 4) return ItemKind::kInt32;
      if (size == 8) return ItemKind::kInt64;
      return std::nullopt;
    case 'B':
    case 'H':
    case 'I':
    case 'L':
    case 'Q':
    case 'N':
      if (size == 1) return ItemKind::kUInt8;
      if (size == 2) return ItemKind::kUInt16;
      if (size == 4) return ItemKind::kUInt32;
      if (size == 8) return ItemKind::kUInt64;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// Whether every item has memory of its own: taken from the innermost
// dimension out, each stride clears everything the inner ones span.
bool items_apart(const Py_buffer& v) {
  struct Dim {
    Py_ssize_t stride;
    Py_ssize_t count;
  };
  std::vector<Dim> dims;
  for (int i = 0; i < v.ndim; ++i) {
    if (v.shape[i] == 0) return true;
    if (v.shape[i] > 1) dims.push_back({v.strides[i] < 0 ? -v.strides[i] : v.strides[i], v.shape[i]});
  }
  std::sort(dims.begin(), dims.end(), [](const Dim& a, const Dim& b) { return a.stride < b.stride; });
  Py_ssize_t spanned = v.itemsize;
  for (const Dim& d : dims) {
    if (d.stride < spanned) return false;
    spanned = d.stride * d.count;
  }
  return true;
}

// Whether two columns of 8-byte items share a byte. Columns with the same
// stride share one exactly when their offsets are less than an item apart
// modulo the stride; columns of different strides whose spans meet are taken
// to share (a layout no one passes on purpose).
bool overlap(const Run& a, const Run& b) {
  if (a.count == 0 || b.count == 0) return false;
  const auto forward = [](const Run& r) {
    const Py_ssize_t last = static_cast<Py_ssize_t>(r.count - 1) * r.stride;
    return r.stride < 0 ? Run{r.base + last, -r.stride, r.count} : r;
  };
  const Run x = forward(a);
  const Run y = forward(b);
  const char* x_end = x.base + static_cast<Py_ssize_t>(x.count - 1) * x.stride + 8;
  const char* y_end = y.base + static_cast<Py_ssize_t>(y.count - 1) * y.stride + 8;
  if (x_end <= y.base || y_end <= x.base) return false;
  Py_ssize_t stride = x.count > 1 ? x.stride : y.stride;
  if (x.count > 1 && y.count > 1 && x.stride != y.stride) return true;
  if (stride < 8) return true;
  const Py_ssize_t offset = ((y.base - x.base) % stride + stride) % stride;
  return offset < 8 || stride - offset < 8;
}

// Item by item in C, once per value: no Python object per element.
template <class T>
void read_items(const char* p, Py_ssize_t stride, std::size_t n, ColumnOut into) {
  for (std::size_t i = 0; i < n; ++i, p += stride) {
    T item;
    std::memcpy(&item, p, sizeof item);  // numpy may hand over unaligned data
    if constexpr (std::is_floating_point_v<T>) {
      const auto x = static_cast<double>(item);
      into.values[i] = x;
      into.valid[i] = std::isnan(x) ? 0 : 1;
    } else {
      into.values[i] = static_cast<double>(item);
      into.valid[i] = 1;
    }
  }
}

template <class T>
void read_rows(const char* base, Py_ssize_t row_stride, Py_ssize_t item_stride, std::size_t begin,
               std::size_t n, std::span<const ColumnOut> into, std::span<const std::uint8_t> wanted) {
  const std::size_t k = into.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char* row = base + static_cast<Py_ssize_t>(begin + i) * row_stride;
    for (std::size_t j = 0; j < k; ++j) {
      if (!wanted.empty() && wanted[j] == 0) continue;
      T item;
      std::memcpy(&item, row + static_cast<Py_ssize_t>(j) * item_stride, sizeof item);
      const auto x = static_cast<double>(item);
      into[j].values[i] = x;
      if constexpr (std::is_floating_point_v<T>) {
        into[j].valid[i] = std::isnan(x) ? 0 : 1;
      } else {
        into[j].valid[i] = 1;
      }
    }
  }
}

}  // namespace

void ColumnTable::read(std::size_t begin, std::size_t n, std::span<const ColumnOut> into,
                       std::span<const std::uint8_t> wanted) const {
  if (row_major_ && !columns_.empty()) {
    const StridedColumn& c = columns_[0];
    const Py_ssize_t item_stride = columns_.size() > 1 ? columns_[1].base - columns_[0].base : 0;
    if (c.kind == ItemKind::kFloat64) {
      return read_rows<double>(c.base, c.stride, item_stride, begin, n, into, wanted);
    }
    if (c.kind == ItemKind::kFloat32) {
      return read_rows<float>(c.base, c.stride, item_stride, begin, n, into, wanted);
    }
  }
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    if (wanted.empty() || wanted[j] != 0) columns_[j].read(begin, n, into[j]);
  }
}

void ColumnTable::write(std::size_t begin, std::size_t n, std::span<const ColumnIn> from) const {
  if (!row_major_ || columns_.size() < 2) {
    for (std::size_t j = 0; j < columns_.size(); ++j) columns_[j].write(begin, n, from[j]);
    return;
  }
  // The same quiet NaN as every absent value in the list results.
  const double absent = std::numeric_limits<double>::quiet_NaN();
  const Py_ssize_t item_stride = columns_[1].base - columns_[0].base;
  const std::size_t k = columns_.size();
  for (std::size_t i = 0; i < n; ++i) {
    char* row = columns_[0].base + static_cast<Py_ssize_t>(begin + i) * columns_[0].stride;
    for (std::size_t j = 0; j < k; ++j) {
      const double x = from[j].valid[i] != 0 ? from[j].values[i] : absent;
      std::memcpy(row + static_cast<Py_ssize_t>(j) * item_stride, &x, sizeof x);
    }
  }
}

bool HeldBuffer::acquire(PyObject* o, int flags) {
  if (PyObject_GetBuffer(o, &view_, flags) != 0) return false;
  held_ = true;
  return true;
}

void StridedColumn::read(std::size_t begin, std::size_t n, ColumnOut into) const {
  const char* p = base + static_cast<Py_ssize_t>(begin) * stride;
  switch (kind) {
    case ItemKind::kFloat64:
      return read_items<double>(p, stride, n, into);
    case ItemKind::kFloat32:
      return read_items<float>(p, stride, n, into);
    case ItemKind::kInt8:
      return read_items<std::int8_t>(p, stride, n, into);
    case ItemKind::kUInt8:
      return read_items<std::uint8_t>(p, stride, n, into);
    case ItemKind::kInt16:
      return read_items<std::int16_t>(p, stride, n, into);
    case ItemKind::kUInt16:
      return read_items<std::uint16_t>(p, stride, n, into);
    case ItemKind::kInt32:
      return read_items<std::int32_t>(p, stride, n, into);
    case ItemKind::kUInt32:
      return read_items<std::uint32_t>(p, stride, n, into);
    case ItemKind::kInt64:
      return read_items<std::int64_t>(p, stride, n, into);
    case ItemKind::kUInt64:
      return read_items<std::uint64_t>(p, stride, n, into);
    case ItemKind::kBool:
      // Any nonzero byte is true, as numpy reads it.
      for (std::size_t i = 0; i < n; ++i) {
        into.values[i] = p[static_cast<Py_ssize_t>(i) * stride] != 0 ? 1.0 : 0.0;
        into.valid[i] = 1;
      }
      return;
  }
}

void StridedColumn::write(std::size_t begin, std::size_t n, ColumnIn from) const {
  // The same quiet NaN as every absent value in the list results.
  const double absent = std::numeric_limits<double>::quiet_NaN();
  char* p = base + static_cast<Py_ssize_t>(begin) * stride;
  for (std::size_t i = 0; i < n; ++i, p += stride) {
    const double x = from.valid[i] != 0 ? from.values[i] : absent;
    std::memcpy(p, &x, sizeof x);
  }
}

void ColumnTable::add(HeldBuffer buffer, const std::string& where, std::size_t first_column) {
  for (std::size_t j = first_column; j < columns_.size(); ++j) {
    runs_.push_back({columns_[j].base, columns_[j].stride, rows_});
    where_.push_back(where);
  }
  buffers_.push_back(std::move(buffer));
}

ColumnTable ColumnTable::input(PyObject* o, const char* arg, const Names& names) {
  ColumnTable table(arg);
  const std::string name(arg);
  const std::size_t k = names.size();
  const auto wrong_count = [&](std::size_t got) {
    raise(PyExc_ValueError, name + ": expected " + std::to_string(k) + " input column(s) " +
                                list_form(names) + ", got " + std::to_string(got));
  };
  const auto kind_of = [&](const Py_buffer& v, const std::string& where) {
    const auto kind = item_kind(v);
    if (!kind) {
      raise(PyExc_TypeError, where + ": unsupported item format '" + format_of(v) +
                                 "' (expected float64, float32, an integer or bool)");
    }
    return *kind;
  };

  if (PyObject_CheckBuffer(o)) {
    HeldBuffer buffer;
    if (!buffer.acquire(o, PyBUF_RECORDS_RO)) throw PythonError{};
    const Py_buffer& v = buffer.view();
    const ItemKind kind = kind_of(v, name);
    if (v.ndim != 2) {
      raise(PyExc_ValueError, name + ": expected a 2-D buffer (bars, " + std::to_string(k) +
                                  ") or a sequence of " + std::to_string(k) + " 1-D buffers, got a " +
                                  std::to_string(v.ndim) + "-D buffer");
    }
    if (static_cast<std::size_t>(v.shape[1]) != k) wrong_count(static_cast<std::size_t>(v.shape[1]));
    table.rows_ = static_cast<std::size_t>(v.shape[0]);
    const auto magnitude = [](Py_ssize_t x) { return x < 0 ? -x : x; };
    table.row_major_ = magnitude(v.strides[1]) < magnitude(v.strides[0]);
    for (std::size_t j = 0; j < k; ++j) {
      table.columns_.push_back(
          {static_cast<char*>(v.buf) + static_cast<Py_ssize_t>(j) * v.strides[1], v.strides[0], kind});
    }
    table.add(std::move(buffer), name, 0);
    return table;
  }
  if (!PySequence_Check(o) || PyUnicode_Check(o)) {
    raise(PyExc_TypeError,
          name + ": expected a 2-D buffer or a sequence of 1-D buffers, got '" + type_name(o) + "'");
  }
  const Ref items = check_new(PySequence_Fast(o, "expected a sequence"));
  const auto count = static_cast<std::size_t>(PySequence_Fast_GET_SIZE(items.get()));
  // What the items are is told first: a list of bars is not a list of columns.
  for (std::size_t j = 0; j < count; ++j) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), static_cast<Py_ssize_t>(j));
    if (!PyObject_CheckBuffer(item)) {
      raise(PyExc_TypeError,
            name + "[" + std::to_string(j) + "]: expected a 1-D buffer, got '" + type_name(item) + "'");
    }
  }
  if (count != k) wrong_count(count);
  for (std::size_t j = 0; j < k; ++j) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), static_cast<Py_ssize_t>(j));
    const std::string where = name + "[" + std::to_string(j) + "]";
    HeldBuffer buffer;
    if (!buffer.acquire(item, PyBUF_RECORDS_RO)) throw PythonError{};
    const Py_buffer& v = buffer.view();
    const ItemKind kind = kind_of(v, where);
    if (v.ndim != 1) {
      raise(PyExc_ValueError,
            where + ": expected a 1-D buffer, got a " + std::to_string(v.ndim) + "-D buffer");
    }
    const auto length = static_cast<std::size_t>(v.shape[0]);
    if (j == 0) {
      table.rows_ = length;
    } else if (length != table.rows_) {
      raise(PyExc_ValueError, where + ": expected " + std::to_string(table.rows_) + " bars like " + name +
                                  "[0], got " + std::to_string(length));
    }
    table.columns_.push_back({static_cast<char*>(v.buf), v.strides[0], kind});
    table.add(std::move(buffer), where, j);
  }
  return table;
}

namespace {

// A writable float64 buffer, or the error saying why `o` cannot be one.
HeldBuffer writable_float64(PyObject* o, const std::string& where, const char* expected) {
  HeldBuffer buffer;
  if (!PyObject_CheckBuffer(o)) {
    raise(PyExc_TypeError, where + ": expected " + expected + ", got '" + type_name(o) + "'");
  }
  if (!buffer.acquire(o, PyBUF_RECORDS)) {
    PyErr_Clear();
    HeldBuffer readable;
    if (readable.acquire(o, PyBUF_RECORDS_RO)) raise(PyExc_ValueError, where + ": the buffer is read-only");
    throw PythonError{};
  }
  const auto kind = item_kind(buffer.view());
  if (kind != ItemKind::kFloat64) {
    raise(PyExc_TypeError, where + ": expected float64 items, got format '" + format_of(buffer.view()) + "'");
  }
  return buffer;
}

}  // namespace

ColumnTable ColumnTable::output(PyObject* o, const char* arg, std::size_t bars, const Names& names) {
  ColumnTable table(arg);
  const std::string name(arg);
  const std::size_t k = names.size();
  table.rows_ = bars;
  if (PyObject_CheckBuffer(o)) {
    HeldBuffer buffer = writable_float64(o, name, "a writable float64 buffer");
    const Py_buffer& v = buffer.view();
    const std::string expected = "(" + std::to_string(bars) + ", " + std::to_string(k) + ")";
    if (v.ndim != 2 || static_cast<std::size_t>(v.shape[0]) != bars ||
        static_cast<std::size_t>(v.shape[1]) != k) {
      raise(PyExc_ValueError, name + ": expected shape " + expected + ", got " + shape_of(v));
    }
    if (!items_apart(v)) {
      raise(PyExc_ValueError, name + ": items overlap one another (strides (" + std::to_string(v.strides[0]) +
                                  ", " + std::to_string(v.strides[1]) + "))");
    }
    const auto magnitude = [](Py_ssize_t x) { return x < 0 ? -x : x; };
    table.row_major_ = magnitude(v.strides[1]) < magnitude(v.strides[0]);
    for (std::size_t j = 0; j < k; ++j) {
      table.columns_.push_back({static_cast<char*>(v.buf) + static_cast<Py_ssize_t>(j) * v.strides[1],
                                v.strides[0], ItemKind::kFloat64});
    }
    table.add(std::move(buffer), name, 0);
    return table;
  }
  if (!PySequence_Check(o) || PyUnicode_Check(o)) {
    raise(PyExc_TypeError, name +
                               ": expected a writable 2-D float64 buffer or a sequence of writable 1-D "
                               "float64 buffers, got '" +
                               type_name(o) + "'");
  }
  const Ref items = check_new(PySequence_Fast(o, "expected a sequence"));
  const auto count = static_cast<std::size_t>(PySequence_Fast_GET_SIZE(items.get()));
  if (count != k) {
    raise(PyExc_ValueError, name + ": expected " + std::to_string(k) + " columns, one per output name " +
                                list_form(names) + ", got " + std::to_string(count));
  }
  for (std::size_t j = 0; j < k; ++j) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), static_cast<Py_ssize_t>(j));
    const std::string where = name + "[" + std::to_string(j) + "]";
    HeldBuffer buffer = writable_float64(item, where, "a writable 1-D float64 buffer");
    const Py_buffer& v = buffer.view();
    if (v.ndim != 1 || static_cast<std::size_t>(v.shape[0]) != bars) {
      raise(PyExc_ValueError, where + ": expected shape (" + std::to_string(bars) + ",), got " + shape_of(v));
    }
    if (!items_apart(v)) {
      raise(PyExc_ValueError,
            where + ": items overlap one another (stride " + std::to_string(v.strides[0]) + ")");
    }
    const Run mine{static_cast<char*>(v.buf), v.strides[0], bars};
    for (std::size_t i = 0; i < table.runs_.size(); ++i) {
      if (overlap(mine, table.runs_[i])) raise(PyExc_ValueError, where + " overlaps " + table.where_[i]);
    }
    table.columns_.push_back({static_cast<char*>(v.buf), v.strides[0], ItemKind::kFloat64});
    table.add(std::move(buffer), where, j);
  }
  return table;
}

void ColumnTable::refuse_overlap(const ColumnTable& input) const {
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    for (std::size_t j = 0; j < input.runs_.size(); ++j) {
      if (overlap(runs_[i], input.runs_[j])) {
        raise(PyExc_ValueError, where_[i] + " overlaps " + input.where_[j]);
      }
    }
  }
}

}  // namespace vexal::py
