#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// Registers the element-wise operator classes, in the module's order.
void add_operator_classes(PyObject* module);

}  // namespace vexal::py
