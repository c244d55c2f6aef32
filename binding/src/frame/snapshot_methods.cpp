#include "frame/snapshot_methods.hpp"

#include <algorithm>
#include <string>

#include "frame/convert.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/registry.hpp"
#include "text/list_form.hpp"

namespace vexal::py {
namespace {

std::vector<PyTypeObject*>& snapshot_types() {
  static std::vector<PyTypeObject*> types;
  return types;
}

std::string_view short_type_name(PyTypeObject* type) {
  const std::string_view qualified = type->tp_name;
  const std::size_t dot = qualified.rfind('.');
  return dot == std::string_view::npos ? qualified : qualified.substr(dot + 1);
}

constexpr Signature kLoadSig = {"load", kLoadParams};

// Rebuilds whichever class the bytes hold, through that class's own
// from_snapshot.
Ref load(const Args& args) {
  PyObject* data = args.raw(0);
  std::string tag;
  {
    const BytesView view(data);
    tag = unwrap(snapshot_class(view.bytes()));
  }
  PyTypeObject* type = snapshot_type_named(tag);
  if (type == nullptr) raise_core_error(snapshot_error("unknown class " + quoted_name(tag)).error());
  PyObject* limit = args.raw(1);
  if (limit == nullptr) {
    return check_new(PyObject_CallMethod(reinterpret_cast<PyObject*>(type), "from_snapshot", "O", data));
  }
  return check_new(
      PyObject_CallMethod(reinterpret_cast<PyObject*>(type), "from_snapshot", "OO", data, limit));
}

PyMethodDef load_def = {
    "load",
    as_method(&function_fastcall<kLoadSig, &load>),
    METH_FASTCALL | METH_KEYWORDS,
    "load(data, max_bytes=1073741824)\n--\n\nRebuild the object a snapshot holds, whatever its class.\n\n"
    "Args:\n    data: The ``bytes`` of an object's ``snapshot()``.\n    max_bytes: The most memory the "
    "snapshot's windows may need; a snapshot\n        declaring more is refused with ``ValueError``. "
    "``None``: no limit.\n\nReturns:\n    A new object of the class the snapshot names.",
};

}  // namespace

BytesView::BytesView(PyObject* o) {
  if (PyObject_GetBuffer(o, &view_, PyBUF_SIMPLE) == 0) return;
  // A buffer that refuses a simple view only for its layout is read
  // through a strided view and copied whole.
  if (PyObject_CheckBuffer(o) != 0) {
    PyErr_Clear();
    if (PyObject_GetBuffer(o, &view_, PyBUF_RECORDS_RO) == 0) {
      copy_.resize(static_cast<std::size_t>(view_.len));
      if (PyBuffer_ToContiguous(copy_.data(), &view_, view_.len, 'C') == 0) {
        copied_ = true;
        return;
      }
      PyBuffer_Release(&view_);
    }
    throw PythonError{};
  }
  name_argument_in_type_error("data");
  throw PythonError{};
}

std::optional<std::size_t> snapshot_limit(PyObject* given) {
  if (given == nullptr) return static_cast<std::size_t>(kDefaultSnapshotLimit);
  if (given == Py_None) return std::nullopt;
  if (PyLong_Check(given) == 0 || PyBool_Check(given) != 0) {
    PyErr_Format(PyExc_TypeError, "argument 'max_bytes': must be int or None, not %.200s",
                 Py_TYPE(given)->tp_name);
    throw PythonError{};
  }
  const unsigned long long v = PyLong_AsUnsignedLongLong(given);
  if (v != static_cast<unsigned long long>(-1) || PyErr_Occurred() == nullptr)
    return static_cast<std::size_t>(v);
  PyErr_Clear();
  const Ref zero = check_new(PyLong_FromLong(0));
  const int negative = PyObject_RichCompareBool(given, zero.get(), Py_LT);
  if (negative < 0) throw PythonError{};
  // Beyond 2^64 - 1 no memory could satisfy it anyway: no limit.
  if (negative == 0) return std::nullopt;
  PyErr_Format(PyExc_ValueError, "argument 'max_bytes': must be at least 0, got %R", given);
  throw PythonError{};
}

Ref bytes_to_python(const std::vector<std::uint8_t>& bytes) {
  return check_new(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<Py_ssize_t>(bytes.size())));
}

void remember_snapshot_type(PyTypeObject* type) {
  auto& types = snapshot_types();
  if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
}

PyTypeObject* snapshot_type_named(std::string_view tag) {
  for (PyTypeObject* type : snapshot_types()) {
    if (short_type_name(type) == tag) return type;
  }
  return nullptr;
}

PyMethodDef& load_function_def() { return load_def; }

}  // namespace vexal::py
