#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>

#include "frame/convert.hpp"

namespace vexal::py {

// One declared parameter: positional-or-keyword, or keyword-only (always
// after the others, and with a default).
struct Param {
  const char* name;
  std::optional<std::uint64_t> default_value = std::nullopt;
  // For a float parameter: its default, used when the argument is absent.
  std::optional<double> float_default = std::nullopt;
  // For a flag: its default; a flag is always keyword-only.
  std::optional<bool> flag_default = std::nullopt;
  // An object that may be left out, read as None.
  bool none_default = false;

  [[nodiscard]] constexpr bool has_default() const {
    return default_value || float_default || flag_default || none_default;
  }
  [[nodiscard]] constexpr bool keyword_only() const { return flag_default.has_value(); }
};

// A callable's parameter list. `method` is "__new__", "update", ... or a
// module function's name; with the owning class it names the callable in
// binding errors ("Sma.update()").
struct Signature {
  const char* method;
  std::span<const Param> params;
};

inline constexpr std::size_t kMaxParams = 8;

// The arguments bound to parameters, in parameter order, before any
// conversion. A slot is nullptr when the argument was not given.
class Args {
 public:
  // From a constructor call: a tuple and an optional dict of keywords.
  // `owner` is the class the callable belongs to, nullptr for a function.
  static Args bind(const Signature& sig, PyTypeObject* owner, PyObject* args, PyObject* kwargs);
  // From a vectorcall: positional arguments plus the keyword names.
  static Args bind(const Signature& sig, PyTypeObject* owner, PyObject* const* args, std::size_t nargsf,
                   PyObject* kwnames);

  [[nodiscard]] PyObject* raw(std::size_t i) const { return slots_[i]; }

  // Converts argument i; a TypeError is re-raised naming the argument.
  template <class T>
  [[nodiscard]] T get(std::size_t i) const {
    if constexpr (std::is_same_v<T, std::uint64_t>) {
      if (slots_[i] == nullptr) return *sig_->params[i].default_value;
      return count(i);
    }
    if constexpr (std::is_same_v<T, double>) {
      if (slots_[i] == nullptr) return *sig_->params[i].float_default;
    }
    if constexpr (std::is_same_v<T, bool>) {
      if (slots_[i] == nullptr) return *sig_->params[i].flag_default;
    }
    // A float that None switches off, such as a barrier that is not set.
    if constexpr (std::is_same_v<T, std::optional<double>>) {
      if (slots_[i] == nullptr) return sig_->params[i].float_default;
      if (slots_[i] == Py_None) return std::nullopt;
      return std::optional<double>(convert(i, [](PyObject* o) { return Convert<double>::from(o); }));
    } else {
      return convert(i, [](PyObject* o) { return Convert<T>::from(o); });
    }
  }

  // Runs `f` on argument i as a conversion: a TypeError is re-raised
  // naming the argument, and running out of memory is a MemoryError (the
  // argument was too large to hold, as for `list(arg)`), not an internal
  // failure. Nothing has touched the object yet, so it stays usable.
  template <class F>
  [[nodiscard]] decltype(auto) convert(std::size_t i, F&& f) const {
    try {
      return f(slots_[i]);
    } catch (const PythonError&) {
      name_argument_in_type_error(sig_->params[i].name);
      throw;
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
      throw PythonError{};
    }
  }

  // Converts the arguments in parameter order (a braced list evaluates left
  // to right, so the first failing conversion ends the call) and hands them
  // to `f`.
  template <class... T, class F>
  decltype(auto) apply(F&& f) const {
    return [&]<std::size_t... I>(std::index_sequence<I...>) -> decltype(auto) {
      std::tuple<T...> converted{get<T>(I)...};
      return std::apply(std::forward<F>(f), std::move(converted));
    }(std::index_sequence_for<T...>{});
  }

 private:
  Args(const Signature& sig, PyTypeObject* owner) : sig_(&sig), owner_(owner) {}

  friend std::string callable_name(const Args& args);
  // Argument i as an unsigned 64-bit count. Out of range, the callables
  // added after the published ones name the argument and its range; the
  // published ones keep the interpreter's own OverflowError.
  [[nodiscard]] std::uint64_t count(std::size_t i) const;

  const Signature* sig_;
  PyTypeObject* owner_;
  std::array<PyObject*, kMaxParams> slots_{};
};

}  // namespace vexal::py
