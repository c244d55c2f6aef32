#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// Registers every class and function of the module in the registry's
// order: the published names, each appended to __all__, then the rest.
void register_everything(PyObject* module);

}  // namespace vexal::py
