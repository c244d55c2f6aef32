#pragma once

#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"

namespace vexal {

// Quotient of two columns of the same bar, numerator first; absent when the
// denominator is zero.
class Ratio final : public Elementwise<Ratio, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Ratio";

  [[nodiscard]] static std::expected<Ratio, VexalError> create(Names inputs, Names outputs);

 private:
  [[nodiscard]] static OptionalValue quotient(const OptionalValue& x, const OptionalValue& y);

  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static OptionalValue value(std::span<const OptionalValue, 2> x) {
    return quotient(x[0], x[1]);
  }
};

template <>
struct Describe<Ratio> : Described<Ratio> {
  static constexpr std::string_view summary = "Element-wise ratio: A / B, ``NaN`` where B is 0.";
  static constexpr Option<Ratio> options[] = {inputs_option<Ratio>, outputs_option<Ratio>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[NaN]`` if either input is ``NaN`` or B is 0.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view reads = "a, b";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Ratio([\"high\", \"low\"], [\"range_ratio\"])";
};

}  // namespace vexal
