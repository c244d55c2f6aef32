#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "traits.hpp"

namespace vexal::py {

// Registers the target classes, in the module's order.
void add_target_classes(PyObject* module);

// Builds a new core target from the configuration a Python target object
// keeps; nullptr when `obj` is not a target object.
std::unique_ptr<Target> rebuild_target(PyObject* obj);

}  // namespace vexal::py
