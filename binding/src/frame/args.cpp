#include "frame/args.hpp"

#include <cstring>
#include <string>

#include "frame/class_builder.hpp"

namespace vexal::py {

// "Sma.__new__()", "Sma.update()" or "fit_standard_scaler()".
std::string callable_name(const Args& args) {
  std::string name = args.sig_->method;
  if (args.owner_ != nullptr) {
    const char* qualified = args.owner_->tp_name;
    const char* dot = std::strrchr(qualified, '.');
    name = std::string(dot != nullptr ? dot + 1 : qualified) + "." + name;
  }
  return name + "()";
}

std::uint64_t Args::count(std::size_t i) const {
  try {
    return convert(i, [](PyObject* o) { return Convert<std::uint64_t>::from(o); });
  } catch (const PythonError&) {
    const char* owner = owner_ != nullptr ? std::strrchr(owner_->tp_name, '.') : nullptr;
    const char* name = owner_ == nullptr ? sig_->method : owner != nullptr ? owner + 1 : owner_->tp_name;
    if (PyErr_ExceptionMatches(PyExc_OverflowError) == 0 || is_published_name(name)) throw;
    PyErr_Clear();
    PyErr_Format(PyExc_OverflowError, "argument '%s': must be an integer from 0 to 2**64 - 1, got %R",
                 sig_->params[i].name, slots_[i]);
    throw;
  }
}

namespace {

std::size_t required_count(const Signature& sig) {
  std::size_t n = 0;
  for (const Param& p : sig.params) n += p.has_default() ? 0 : 1;
  return n;
}

// Keyword-only parameters come last and never take a positional argument.
std::size_t positional_count(const Signature& sig) {
  std::size_t n = 0;
  for (const Param& p : sig.params) n += p.keyword_only() ? 0 : 1;
  return n;
}

[[noreturn]] void too_many_positional(const Args& args, const Signature& sig, std::size_t given) {
  const std::size_t total = positional_count(sig);
  const std::size_t required = required_count(sig);
  std::string msg = callable_name(args) + " takes ";
  if (required == total) {
    msg += std::to_string(total);
  } else {
    msg += "from " + std::to_string(required) + " to " + std::to_string(total);
  }
  msg += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  PyErr_SetString(PyExc_TypeError, msg.c_str());
  throw PythonError{};
}

[[noreturn]] void keyword_error(const Args& args, const char* what, PyObject* keyword) {
  PyErr_Format(PyExc_TypeError, "%s %s '%U'", callable_name(args).c_str(), what, keyword);
  throw PythonError{};
}

void check_missing(const Args& args, const Signature& sig, const std::array<PyObject*, kMaxParams>& slots) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (slots[i] == nullptr && !sig.params[i].has_default()) missing.push_back(sig.params[i].name);
  }
  if (missing.empty()) return;
  std::string list;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) list += missing.size() == 2 ? " and " : (i + 1 == missing.size() ? ", and " : ", ");
    list += "'" + std::string(missing[i]) + "'";
  }
  const std::string msg = callable_name(args) + " missing " + std::to_string(missing.size()) +
                          " required positional argument" + (missing.size() == 1 ? "" : "s") + ": " + list;
  PyErr_SetString(PyExc_TypeError, msg.c_str());
  throw PythonError{};
}

// Places one keyword argument into its parameter's slot.
void bind_keyword(const Args& args, const Signature& sig, std::array<PyObject*, kMaxParams>& slots,
                  PyObject* keyword, PyObject* value) {
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (PyUnicode_Check(keyword) && PyUnicode_CompareWithASCIIString(keyword, sig.params[i].name) == 0) {
      if (slots[i] != nullptr) keyword_error(args, "got multiple values for argument", keyword);
      slots[i] = value;
      return;
    }
  }
  keyword_error(args, "got an unexpected keyword argument", keyword);
}

}  // namespace

Args Args::bind(const Signature& sig, PyTypeObject* owner, PyObject* args, PyObject* kwargs) {
  Args bound(sig, owner);
  const std::size_t nargs = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
  if (nargs > positional_count(sig)) too_many_positional(bound, sig, nargs);
  for (std::size_t i = 0; i < nargs; ++i) bound.slots_[i] = PyTuple_GET_ITEM(args, i);
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) bind_keyword(bound, sig, bound.slots_, key, value);
  }
  check_missing(bound, sig, bound.slots_);
  return bound;
}

Args Args::bind(const Signature& sig, PyTypeObject* owner, PyObject* const* args, std::size_t nargsf,
                PyObject* kwnames) {
  Args bound(sig, owner);
  const std::size_t nargs = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
  if (nargs > positional_count(sig)) too_many_positional(bound, sig, nargs);
  for (std::size_t i = 0; i < nargs; ++i) bound.slots_[i] = args[i];
  // The usual live call, update(values): every parameter given by position
  // and no keywords, so nothing can be missing or given twice.
  if (kwnames == nullptr && nargs == sig.params.size()) return bound;
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      bind_keyword(bound, sig, bound.slots_, PyTuple_GET_ITEM(kwnames, k),
                   args[nargs + static_cast<std::size_t>(k)]);
    }
  }
  check_missing(bound, sig, bound.slots_);
  return bound;
}

}  // namespace vexal::py
