#include "extract.hpp"

#include "frame/target_class.hpp"
#include "frame/transform_class.hpp"

namespace vexal::py {
namespace {

[[noreturn]] void unsupported(const char* kind, PyObject* obj) {
  Ref name = check_new(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__name__"));
  PyErr_Format(PyExc_ValueError, "unsupported %s type: %S", kind, name.get());
  throw PythonError{};
}

}  // namespace

std::unique_ptr<StreamingTransform> extract_feature(PyObject* obj) {
  for (PyTypeObject* type : transform_types()) {
    if (PyObject_TypeCheck(obj, type)) {
      auto& inst = instance_of<TransformState>(obj);
      SharedBorrow borrow(inst.borrow);
      return inst.state->fresh();
    }
  }
  unsupported("feature", obj);
}

std::unique_ptr<Target> extract_target(PyObject* obj) {
  if (auto target = rebuild_target(obj)) return target;
  unsupported("target", obj);
}

}  // namespace vexal::py
