#pragma once

#include <cmath>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"
#include "windowed.hpp"

namespace vexal {

// Absolute value of one column.
class Abs final : public Elementwise<Abs, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Abs";

  [[nodiscard]] static std::expected<Abs, VexalError> create(Names inputs, Names outputs) {
    if (auto failure = first_failure(inputs_exactly(inputs, 1), outputs_not_empty(outputs))) return *failure;
    return Abs(std::move(inputs), std::move(outputs));
  }

 private:
  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static OptionalValue value(std::span<const OptionalValue, 1> x) {
    if (!x[0]) return std::nullopt;
    return std::fabs(*x[0]);
  }
};

template <>
struct Describe<Abs> : Described<Abs> {
  static constexpr std::string_view summary = "Element-wise absolute value: |x|.";
  static constexpr Option<Abs> options[] = {inputs_option<Abs>, outputs_option<Abs>};
  static constexpr std::string_view update_doc = "Process one bar. Returns ``[NaN]`` if input is ``NaN``.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Abs([\"ret\"], [\"abs_ret\"])";
};

}  // namespace vexal
