#include "frame/batch_args.hpp"

#include "frame/convert.hpp"
#include "frame/errors.hpp"

namespace vexal::py {

std::size_t thread_count(const Args& args, std::size_t i, const char* name) {
  if (args.raw(i) != nullptr) {
    const Ref index = args.convert(i, [](PyObject* o) { return check_new(PyNumber_Index(o)); });
    const Ref one = check_new(PyLong_FromLong(1));
    const int below = PyObject_RichCompareBool(index.get(), one.get(), Py_LT);
    if (below < 0) throw PythonError{};
    if (below != 0) {
      PyErr_Format(PyExc_ValueError, "%s: must be at least 1, got %S", name, index.get());
      throw PythonError{};
    }
  }
  return static_cast<std::size_t>(args.get<std::uint64_t>(i));
}

}  // namespace vexal::py
