#pragma once

#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"

namespace vexal {

// Difference of two columns of the same bar, minuend first.
class Subtract final : public Elementwise<Subtract, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Subtract";

  [[nodiscard]] static std::expected<Subtract, VexalError> create(Names inputs, Names outputs);

 private:
  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static double apply(double a, double b) { return a - b; }
};

template <>
struct Describe<Subtract> : Described<Subtract> {
  static constexpr std::string_view summary = "Element-wise subtraction: A - B.";
  static constexpr Option<Subtract> options[] = {inputs_option<Subtract>, outputs_option<Subtract>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[NaN]`` if either input is ``NaN``.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view reads = "a, b";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Subtract([\"high\", \"low\"], [\"spread\"])";
};

}  // namespace vexal
