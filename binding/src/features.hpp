#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// Registers the feature classes, in the module's order.
void add_feature_classes(PyObject* module);

}  // namespace vexal::py
