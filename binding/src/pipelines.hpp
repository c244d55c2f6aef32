#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// The FeaturePipeline and TargetPipeline classes, created on first use.
PyTypeObject* feature_pipeline_type();
PyTypeObject* target_pipeline_type();

}  // namespace vexal::py
