#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "descriptor.hpp"
#include "frame/args.hpp"
#include "frame/target_class.hpp"
#include "frame/transform_class.hpp"
#include "text/list_form.hpp"

namespace vexal::py {

// A class's Python face, derived from its Describe<Core>: the text
// signature and docstrings, the parameters, the constructor (converting
// the arguments to the types `create` takes, in its order) and the repr.

// The types `create` takes, decayed.
template <class F>
struct CreateArgs;
template <class R, class... A>
struct CreateArgs<R (*)(A...)> {
  using type = std::tuple<std::decay_t<A>...>;
};
template <class Core>
using CreateTuple = typename CreateArgs<decltype(&Core::create)>::type;

template <class A>
constexpr bool option_takes(OptionType t) {
  switch (t) {
    case OptionType::Names:
      return std::is_same_v<A, Names>;
    case OptionType::Name:
      return std::is_same_v<A, std::string>;
    case OptionType::Count:
      return std::is_same_v<A, std::size_t>;
    case OptionType::Number:
      return std::is_same_v<A, double>;
    case OptionType::OptionalNumber:
      return std::is_same_v<A, std::optional<double>>;
  }
  return false;
}

// Whether the declared options are, in number and type, what `create` takes.
template <class Core>
constexpr bool options_match_create() {
  constexpr auto& options = Describe<Core>::options;
  using Tuple = CreateTuple<Core>;
  if (std::size(options) != std::tuple_size_v<Tuple>) return false;
  return []<std::size_t... I>(std::index_sequence<I...>) {
    return (option_takes<std::tuple_element_t<I, Tuple>>(options[I].type) && ...);
  }(std::make_index_sequence<std::tuple_size_v<Tuple>>{});
}

// "Name(inputs, window, outputs, k=2.0)".
template <class Core>
std::string text_signature(std::string_view name) {
  std::string out = std::string(name) + "(";
  bool first = true;
  for (const auto& o : Describe<Core>::options) {
    if (!first) out += ", ";
    first = false;
    out += o.name;
    if (o.count_default) out += "=" + std::to_string(*o.count_default);
    if (o.number_default) out += "=" + float_repr(*o.number_default);
    if (o.none_default) out += "=None";
  }
  return out + ")";
}

// A method docstring with its text signature.
inline std::string method_doc(const char* signature, std::string_view text) {
  return std::string(signature) + "\n--\n\n" + std::string(text);
}

// An option's value as a repr writes it.
inline std::string option_repr(const OptionValue& v) {
  struct Render {
    std::string operator()(const Names& n) const { return list_form(n); }
    std::string operator()(const std::string& s) const { return quoted_name(s); }
    std::string operator()(std::size_t c) const { return std::to_string(c); }
    std::string operator()(double d) const { return float_repr(d); }
    std::string operator()(const std::optional<double>& d) const { return d ? float_repr(*d) : "None"; }
  };
  return std::visit(Render{}, v);
}

// "Name(inputs=[...], window=N, ...)": the options the object keeps.
template <class Core>
std::string described_repr(const Core& core, const char* name) {
  std::string out = std::string(name) + "(";
  bool first = true;
  for (const auto& o : Describe<Core>::options) {
    if (o.value == nullptr) continue;
    if (!first) out += ", ";
    first = false;
    out += std::string(o.name) + "=" + option_repr(o.value(core));
  }
  return out + ")";
}

// What a class's face keeps for as long as the process lives.
template <class Core>
struct DescribedText {
  static inline std::string qualified_name;
  static inline std::string doc;
  static inline std::string first_doc;   // update, or a target's output_names
  static inline std::string second_doc;  // reset
  static inline std::array<Param, std::size(Describe<Core>::options)> params{};

  static void fill(const char* first_signature, std::string_view first_default,
                   std::string_view second_default) {
    using D = Describe<Core>;
    const std::string_view name = Core::snapshot_tag;
    qualified_name = "vexal." + std::string(name);
    doc = text_signature<Core>(name) + "\n--\n\n" + std::string(D::summary);
    first_doc = method_doc(first_signature, D::update_doc.empty() ? first_default : D::update_doc);
    second_doc = method_doc("reset($self)", D::reset_doc.empty() ? second_default : D::reset_doc);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const auto& o = D::options[i];
      params[i] = Param{o.name.data(), o.count_default, o.number_default, std::nullopt, o.none_default};
    }
  }
};

template <class Core>
TransformState construct_described(const Args& args) {
  return [&]<class... A>(std::tuple<A...>*) {
    return owned(args.apply<A...>(&Core::create));
  }(static_cast<CreateTuple<Core>*>(nullptr));
}

// The face of a streaming transform, from its description.
template <class Core>
TransformFace described_transform() {
  static_assert(options_match_create<Core>(), "the declared options must be what create takes, in order");
  using Text = DescribedText<Core>;
  Text::fill("update($self, values)",
             "Process one bar. Returns ``[NaN]`` during warm-up or on ``NaN`` input.",
             "Reset internal state (e.g. between CPCV splits).");
  return {
      Text::qualified_name.c_str(),
      Text::doc.c_str(),
      Text::params,
      Text::first_doc.c_str(),
      Text::second_doc.c_str(),
      &construct_described<Core>,
      [](const StreamingTransform& t, const char* name) {
        return described_repr(static_cast<const Core&>(t), name);
      },
  };
}

// A target's configuration maps onto `create`'s arguments by type: the
// first list is the inputs and the second the outputs, a single name is
// the one input, the count is the horizon, and the numbers are the options
// after the outputs, in order.
template <class Core>
std::unique_ptr<Target> rebuild_described(const TargetConfig& c) {
  return [&]<class... A>(std::tuple<A...>*) {
    std::size_t lists = 0;
    std::size_t numbers = 0;
    auto argument = [&]<class T>(std::type_identity<T>) -> T {
      if constexpr (std::is_same_v<T, Names>) {
        return lists++ == 0 ? c.inputs : c.outputs;
      } else if constexpr (std::is_same_v<T, std::string>) {
        return c.inputs.at(0);
      } else if constexpr (std::is_same_v<T, std::size_t>) {
        return c.horizon;
      } else if constexpr (std::is_same_v<T, std::optional<double>>) {
        return c.options.at(numbers++);
      } else {
        return *c.options.at(numbers++);
      }
    };
    // A braced list evaluates in order, so the lists and numbers are taken in turn.
    std::tuple<A...> made{argument(std::type_identity<A>{})...};
    return rebuilt(std::apply(&Core::create, std::move(made)));
  }(static_cast<CreateTuple<Core>*>(nullptr));
}

// The configuration of a built target: its names and horizon, then the
// numbers among its options.
template <class Core>
TargetConfig configured_described(const Target& t) {
  const auto& core = static_cast<const Core&>(t);
  TargetConfig c = config_of(core);
  for (const auto& o : Describe<Core>::options) {
    if (o.value == nullptr) continue;
    if (o.type == OptionType::Number) c.options.emplace_back(std::get<double>(o.value(core)));
    if (o.type == OptionType::OptionalNumber)
      c.options.push_back(std::get<std::optional<double>>(o.value(core)));
  }
  return c;
}

template <class Core>
TargetConfig construct_described_target(const Args& args) {
  return [&]<class... A>(std::tuple<A...>*) {
    return configured_described<Core>(unwrap(args.apply<A...>(&Core::create)));
  }(static_cast<CreateTuple<Core>*>(nullptr));
}

// The face of a target, from its description.
template <class Core>
TargetFace described_target() {
  static_assert(options_match_create<Core>(), "the declared options must be what create takes, in order");
  using Text = DescribedText<Core>;
  Text::fill("output_names($self)", "Output column names.", "");
  return {
      Text::qualified_name.c_str(),
      Text::doc.c_str(),
      Text::params,
      Text::first_doc.c_str(),
      &construct_described_target<Core>,
      &rebuild_described<Core>,
      [](const TargetConfig& c, const char* name) {
        const std::unique_ptr<Target> core = rebuild_described<Core>(c);
        return described_repr(static_cast<const Core&>(*core), name);
      },
      &configured_described<Core>,
  };
}

}  // namespace vexal::py
