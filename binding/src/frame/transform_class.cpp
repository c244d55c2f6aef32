#include "frame/transform_class.hpp"

#include <algorithm>

#include "snapshot/registry.hpp"
#include "snapshot/writer.hpp"

namespace vexal::py {
namespace {

std::vector<PyTypeObject*>& registered_types() {
  static std::vector<PyTypeObject*> types;
  return types;
}

}  // namespace

std::string render_repr(const char* name, std::initializer_list<std::pair<const char*, std::string>> fields) {
  std::string out = std::string(name) + "(";
  bool first = true;
  for (const auto& [keyword, value] : fields) {
    if (!first) out += ", ";
    first = false;
    out += keyword;
    out += '=';
    out += value;
  }
  return out + ")";
}

std::string float_repr(double v) {
  char* text = PyOS_double_to_string(v, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
  if (text == nullptr) throw PythonError{};
  std::string out(text);
  PyMem_Free(text);
  return out;
}

std::span<PyTypeObject* const> transform_types() { return registered_types(); }

void remember_transform_type(PyTypeObject* type) {
  auto& types = registered_types();
  if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
}

namespace transform_methods {

Ref update(TransformState& t, const Args& args) {
  const BarValues values = args.get<BarValues>(0);
  const UpdateResult result = t->update(values.values());
  return to_python(result.values());
}

Ref peek(TransformState& t, const Args& args) {
  const BarValues values = args.get<BarValues>(0);
  const UpdateResult result = t->peek(values.values());
  return to_python(result.values());
}

std::vector<std::uint8_t> save(PyTypeObject*, const TransformState& t) { return snapshot_of(*t); }

TransformState load(PyTypeObject* type, std::span<const std::uint8_t> bytes) {
  return unwrap(restore_transform(bytes, short_name(type->tp_name)));
}

Ref reset(TransformState& t) {
  t->reset();
  return Ref::borrow(Py_None);
}

Ref input_names(TransformState& t) { return to_python(t->input_names()); }
Ref output_names(TransformState& t) { return to_python(t->output_names()); }
Ref warm_up_period(TransformState& t) { return size_to_python(t->warm_up_period()); }

}  // namespace transform_methods
}  // namespace vexal::py
