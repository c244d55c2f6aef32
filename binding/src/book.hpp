#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// The FeatureBook class, created on first use, and _cross_section, the
// same cross-sectional step over the dates of a research panel.
PyTypeObject* feature_book_type();
PyMethodDef& cross_section_function_def();

}  // namespace vexal::py
