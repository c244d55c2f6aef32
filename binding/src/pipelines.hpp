#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// Registers FeaturePipeline and TargetPipeline, in the module's order.
void add_pipeline_classes(PyObject* module);

}  // namespace vexal::py
