#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "traits.hpp"

namespace vexal::py {

// A fresh, owned copy of the core transform behind a Python feature, scaler
// or operator object (same configuration, initial state), so a pipeline
// never shares state with the user's objects. Raises ValueError
// "unsupported feature type: <name>" for any other object.
std::unique_ptr<StreamingTransform> extract_feature(PyObject* obj);

// A core target rebuilt from a Python target object's configuration.
// Raises ValueError "unsupported target type: <name>" for any other object.
std::unique_ptr<Target> extract_target(PyObject* obj);

}  // namespace vexal::py
