#include "frame/class_builder.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frame/errors.hpp"
#include "frame/instance.hpp"
#include "frame/ref.hpp"

namespace vexal::py {

PyTypeObject* build_type(const ClassDef& def) {
  std::vector<PyType_Slot> slots = {
      {Py_tp_doc, const_cast<char*>(def.doc)},
      {Py_tp_dealloc, reinterpret_cast<void*>(def.dealloc)},
      {Py_tp_new, reinterpret_cast<void*>(def.tp_new)},
      {Py_tp_methods, def.methods},
  };
  if (def.getset != nullptr) slots.push_back({Py_tp_getset, def.getset});
  if (def.repr != nullptr) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(def.repr)});
  if (def.length != nullptr) {
    slots.push_back({Py_mp_length, reinterpret_cast<void*>(def.length)});
    slots.push_back({Py_sq_length, reinterpret_cast<void*>(def.length)});
  }
  slots.push_back({0, nullptr});
  // No Py_TPFLAGS_BASETYPE: the classes are final. Immutable, as built-in
  // types are: replacing __new__ (or any attribute) on a class would let
  // instances exist whose state the constructor never built.
  PyType_Spec type_spec = {def.qualified_name, static_cast<int>(def.basic_size), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots.data()};
  return reinterpret_cast<PyTypeObject*>(check(PyType_FromSpec(&type_spec)));
}

void refuse_unbuilt(PyObject* self) {
  const char* qualified = Py_TYPE(self)->tp_name;
  const char* dot = std::strrchr(qualified, '.');
  const char* name = dot != nullptr ? dot + 1 : qualified;
  PyErr_Format(PyExc_TypeError, "%s object was not built by its constructor: create it with %s(...)", name,
               name);
  throw PythonError{};
}

namespace {

std::vector<std::string>& published_names() {
  static std::vector<std::string> names;
  return names;
}

}  // namespace

bool is_published_name(std::string_view name) {
  const auto& names = published_names();
  return std::find(names.begin(), names.end(), name) != names.end();
}

void add_to_module(PyObject* module, const char* name, PyObject* object) {
  published_names().emplace_back(name);
  Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw PythonError{};
    PyErr_Clear();
    all = check_new(PyList_New(0));
    if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) throw PythonError{};
  }
  Ref text = check_new(PyUnicode_FromString(name));
  if (PyList_Append(all.get(), text.get()) < 0) throw PythonError{};
  set_on_module(module, name, object);
}

void set_on_module(PyObject* module, const char* name, PyObject* object) {
  if (PyObject_SetAttrString(module, name, object) < 0) throw PythonError{};
}

Ref module_function(PyObject* module, PyMethodDef& def) {
  Ref module_name = check_new(PyModule_GetNameObject(module));
  return check_new(PyCMethod_New(&def, module, module_name.get(), nullptr));
}

}  // namespace vexal::py
