#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// The module function fit_standard_scaler.
PyMethodDef& fit_standard_scaler_def();

}  // namespace vexal::py
