// The entry point of the extension module _vexal.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>

#include "frame/errors.hpp"
#include "registry.hpp"

namespace vexal::py {
namespace {

// m_size 0 (not -1): the interpreter then calls the entry point again in
// every interpreter instead of silently copying the module, so a second
// interpreter is refused below rather than sharing our state.
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_vexal", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

std::optional<std::int64_t> owner_interpreter;
PyObject* the_module = nullptr;  // lives for the life of the process

PyObject* create_module() {
  Ref module = check_new(PyModule_Create(&module_def));
  register_everything(module.get());
  return module.release();
}

PyObject* init_module() {
  const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (interpreter < 0) throw PythonError{};
  if (owner_interpreter && *owner_interpreter != interpreter) {
    PyErr_SetString(PyExc_ImportError,
                    "_vexal does not support sub-interpreters: it can only be imported in one interpreter "
                    "per process");
    throw PythonError{};
  }
  if (the_module == nullptr) {
    the_module = create_module();
    owner_interpreter = interpreter;
  }
  return Py_NewRef(the_module);
}

}  // namespace
}  // namespace vexal::py

PyMODINIT_FUNC PyInit__vexal() {
  return vexal::py::guarded([] { return vexal::py::init_module(); });
}
