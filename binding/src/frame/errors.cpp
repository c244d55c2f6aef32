#include "frame/errors.hpp"

#include <new>
#include <string>

#include "internal_failure.hpp"

namespace vexal::py {
namespace {

constexpr const char* kPanicDoc =
    "Raised when the native code called from Python fails.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.";

void raise_panic(const char* message) {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // creating the class failed; that error stays set
  Ref text = Ref::steal(PyUnicode_DecodeUTF8(
      message, static_cast<Py_ssize_t>(std::char_traits<char>::length(message)), "replace"));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

}  // namespace

void raise_core_error(const VexalError& error) {
  const std::string text = error.display();
  Ref message = Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (message) PyErr_SetObject(PyExc_ValueError, message.get());
  throw PythonError{};
}

PyObject* panic_exception_type() {
  // Lives for the whole process, like the type objects.
  static PyObject* type =
      PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc, PyExc_BaseException, nullptr);
  return type;
}

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const PythonError&) {
    if (!PyErr_Occurred()) raise_panic("a Python error was reported but none was set");
  } catch (const BorrowConflict& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (const std::bad_alloc&) {
    raise_panic("memory allocation failed");
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("unknown internal failure");
  }
}

}  // namespace vexal::py
