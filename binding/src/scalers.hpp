#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// Registers RollingZScore and FixedZScore, in the module's order.
void add_scaler_classes(PyObject* module);
// Registers the module function fit_standard_scaler.
void add_fitting_function(PyObject* module);

}  // namespace vexal::py
