#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// _describe(): every class's description, in the module's order, as a
// tuple of dicts. The stubs, the README's table of transforms and the
// reference pages are generated from it, and the tests iterate it.
PyMethodDef& describe_function_def();

}  // namespace vexal::py
