#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string_view>

#include "frame/ref.hpp"

namespace vexal::py {

// What a Python class is made of. Every class is final, has no instance
// dict or weak references, and builds instances only through `tp_new`.
// All pointers must outlive the process (the type keeps referring to them).
struct ClassDef {
  const char* qualified_name;  // "vexal.Sma": __module__ "vexal", __name__ "Sma"
  const char* doc;             // "Sma(inputs, window, outputs)\n--\n\n<text>"
  std::size_t basic_size;
  destructor dealloc;
  newfunc tp_new;
  reprfunc repr;   // nullptr: the interpreter's default
  lenfunc length;  // nullptr: no len()
  PyMethodDef* methods;
  PyGetSetDef* getset = nullptr;  // read-only attributes, or none
};

// Creates the type object from its definition (once per class).
PyTypeObject* build_type(const ClassDef& def);

// Appends `name` to the module's __all__ (creating it when missing) and
// sets the attribute. Takes a new reference to `object`.
void add_to_module(PyObject* module, const char* name, PyObject* object);

// Whether `name` was added to __all__: the published names, whose errors
// keep their long-established wording.
[[nodiscard]] bool is_published_name(std::string_view name);

// Sets the attribute without listing it in __all__. Takes a new reference
// to `object`.
void set_on_module(PyObject* module, const char* name, PyObject* object);

// A built-in function bound to the module (its __module__ is the module's
// name). `def` must outlive the process.
Ref module_function(PyObject* module, PyMethodDef& def);

}  // namespace vexal::py
