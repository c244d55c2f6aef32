#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "traits.hpp"

namespace vexal {

// Everything said about a transform or target outside its arithmetic, in
// one place next to its class: the Python face (signature, options,
// docstrings), the snapshot tag and layout, the reference table's row and
// an example. The binding builds the class from it; the stubs, the README's
// table and the reference pages are derived from it.
//
// A class `T` is described by specialising `Describe<T>` right after it:
//
//   template <>
//   struct Describe<Sma> : Described<Sma> {
//     static constexpr std::string_view summary = "Simple Moving Average ...";
//     static constexpr Option<Sma> options[] = {inputs_option<Sma>, window_option<Sma>, outputs_option<Sma>};
//     ...
//   };
template <class T>
struct Describe;

// How an option is given: its type on the Python side follows from it, and
// it must match the type `create` takes at its position (checked when the
// class is built).
enum class OptionType : std::uint8_t {
  Names,           // a list of column names
  Name,            // one column name
  Count,           // a non-negative integer (std::size_t)
  Number,          // a float
  OptionalNumber,  // a float, or None to switch it off
};

// The value an option shows in a repr.
using OptionValue = std::variant<Names, std::string, std::size_t, double, std::optional<double>>;

// One parameter of the constructor, in order. Options with a default come
// after those without.
template <class T>
struct Option {
  std::string_view name;
  OptionType type;
  // The default of a Count, or of a Number / OptionalNumber.
  std::optional<std::size_t> count_default = std::nullopt;
  std::optional<double> number_default = std::nullopt;
  // Its value in a constructed object, for the repr; nullptr for an option
  // the object does not keep (it is left out of the repr).
  OptionValue (*value)(const T&) = nullptr;
  // An OptionalNumber that is None unless given.
  bool none_default = false;

  [[nodiscard]] constexpr bool has_default() const { return count_default || number_default || none_default; }
};

// The common options.
template <class T>
inline constexpr Option<T> inputs_option = {
    "inputs", OptionType::Names, {}, {}, [](const T& t) -> OptionValue { return t.input_names(); }};
template <class T>
inline constexpr Option<T> outputs_option = {
    "outputs", OptionType::Names, {}, {}, [](const T& t) -> OptionValue { return t.output_names(); }};
template <class T>
inline constexpr Option<T> window_option = {
    "window", OptionType::Count, {}, {}, [](const T& t) -> OptionValue { return t.window(); }};
template <class T>
inline constexpr Option<T> horizon_option = {
    "horizon", OptionType::Count, {}, {}, [](const T& t) -> OptionValue { return t.horizon(); }};

// What a missing value does to a transform.
enum class MissingPolicy : std::uint8_t {
  SpoilsWindow,      // every window holding it has no value
  ReseedsRecursion,  // the recursion starts again after it, from a new seed
  PassesThrough,     // that bar has no value; nothing else is affected
  RestartsTotal,     // a running total starts again after it
  EndsWalk,          // a forward walk reaching it has no value
};

[[nodiscard]] constexpr std::string_view missing_policy_text(MissingPolicy p) {
  switch (p) {
    case MissingPolicy::SpoilsWindow:
      return "spoils the window";
    case MissingPolicy::ReseedsRecursion:
      return "reseeds the recursion";
    case MissingPolicy::PassesThrough:
      return "passes through";
    case MissingPolicy::RestartsTotal:
      return "restarts the total";
    case MissingPolicy::EndsWalk:
      return "ends the walk";
  }
  return "";
}

// Docstring texts several classes share.
inline constexpr std::string_view kInvalidInputUpdateText =
    "Process one bar. Returns ``[NaN]`` during warm-up or on invalid input.";
inline constexpr std::string_view kNoOpResetText = "Reset (no-op for stateless operators).";

// The defaults most descriptions share; a Describe<T> derives from it and
// overrides what differs.
template <class T>
struct Described {
  // Text for the update (or, for a target, output_names) docstring, with
  // its text signature; empty takes the binding's usual one.
  static constexpr std::string_view update_doc = "";
  static constexpr std::string_view reset_doc = "";
  // The definition, for a class whose summary (its docstring) names it
  // without stating it: the class's page in the documentation shows it.
  // Empty where the summary already gives it.
  static constexpr std::string_view formula = "";
  // The class's family in the reference ("averages", "volatility", ...).
  static constexpr std::string_view family = "";
  // The reference table's columns: the inputs read, in order; the outputs
  // ("1" for one value); a note on the options; the warm-up; how TA-Lib
  // compares.
  static constexpr std::string_view reads = "x";
  static constexpr std::string_view writes = "1";
  static constexpr std::string_view options_note = "";
  static constexpr std::string_view warm_up = "";
  static constexpr std::string_view talib = "";
  // What follows the names in a snapshot of it.
  static constexpr std::string_view state = "";
  static constexpr MissingPolicy missing = MissingPolicy::SpoilsWindow;
  // A constructor call, as Python source, that the reference shows and
  // the tests build.
  static constexpr std::string_view example = "";
};

}  // namespace vexal
