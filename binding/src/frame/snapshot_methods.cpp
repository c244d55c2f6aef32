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

constexpr Signature kLoadSig = {"load", kDataParam};

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
  return check_new(PyObject_CallMethod(reinterpret_cast<PyObject*>(type), "from_snapshot", "O", data));
}

PyMethodDef load_def = {
    "load",
    as_method(&function_fastcall<kLoadSig, &load>),
    METH_FASTCALL | METH_KEYWORDS,
    "load(data)\n--\n\nRebuild the object a snapshot holds, whatever its class.\n\nArgs:\n    data: The "
    "``bytes`` of an object's ``snapshot()``.\n\nReturns:\n    A new object of the class the snapshot names.",
};

}  // namespace

BytesView::BytesView(PyObject* o) {
  if (PyObject_GetBuffer(o, &view_, PyBUF_SIMPLE) < 0) {
    name_argument_in_type_error("data");
    throw PythonError{};
  }
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
