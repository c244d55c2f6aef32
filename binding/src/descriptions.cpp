#include "descriptions.hpp"

#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "catalog.hpp"
#include "frame/described.hpp"
#include "frame/instance.hpp"

namespace vexal::py {
namespace {

std::string_view type_name(OptionType t) {
  switch (t) {
    case OptionType::Names:
      return "names";
    case OptionType::Name:
      return "name";
    case OptionType::Count:
      return "count";
    case OptionType::Number:
      return "number";
    case OptionType::OptionalNumber:
      return "optional number";
  }
  return "";
}

Ref dict_of(std::initializer_list<std::pair<const char*, Ref>> items) {
  Ref d = check_new(PyDict_New());
  for (const auto& [key, value] : items) {
    if (PyDict_SetItemString(d.get(), key, value.get()) < 0) throw PythonError{};
  }
  return d;
}

Ref tuple_of(std::vector<Ref> items) {
  Ref t = check_new(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyTuple_SET_ITEM(t.get(), static_cast<Py_ssize_t>(i), items[i].release());
  }
  return t;
}

template <class O>
Ref option_entry(const O& o) {
  Ref fallback = Ref::borrow(Py_None);
  if (o.count_default) fallback = size_to_python(*o.count_default);
  if (o.number_default) fallback = check_new(PyFloat_FromDouble(*o.number_default));
  return dict_of({{"name", to_python(o.name)},
                  {"type", to_python(type_name(o.type))},
                  {"default", std::move(fallback)},
                  {"required", Ref::borrow(o.has_default() ? Py_False : Py_True)},
                  {"shown", Ref::borrow(o.value != nullptr ? Py_True : Py_False)}});
}

template <class Core>
Ref description() {
  using D = Describe<Core>;
  std::vector<Ref> options;
  for (const auto& o : D::options) options.push_back(option_entry(o));
  const bool target = std::is_base_of_v<Target, Core>;
  return dict_of({
      {"name", to_python(Core::snapshot_tag)},
      {"kind", to_python(target ? "target" : "transform")},
      {"signature", to_python(text_signature<Core>(""))},
      {"summary", to_python(D::summary)},
      {"formula", to_python(D::formula)},
      {"options", tuple_of(std::move(options))},
      {"family", to_python(D::family)},
      {"reads", to_python(D::reads)},
      {"writes", to_python(D::writes)},
      {"options_note", to_python(D::options_note)},
      {"warm_up", to_python(D::warm_up)},
      {"talib", to_python(D::talib)},
      {"state", to_python(D::state)},
      {"missing", to_python(missing_policy_text(D::missing))},
      {"example", to_python(D::example)},
  });
}

Ref describe(const Args&) {
  std::vector<Ref> all;
  for_every_class([&]<class Core>() { all.push_back(description<Core>()); });
  return tuple_of(std::move(all));
}

constexpr Signature kDescribe = {"_describe", {}};

PyMethodDef describe_def = {
    "_describe", as_method(&function_fastcall<kDescribe, &describe>), METH_FASTCALL | METH_KEYWORDS,
    "_describe()\n--\n\nEvery class's description, in the module's order: its signature, options, "
    "docstring, formula, inputs and outputs, warm-up, missing-value policy, snapshot layout and an example."};

}  // namespace

PyMethodDef& describe_function_def() { return describe_def; }

}  // namespace vexal::py
