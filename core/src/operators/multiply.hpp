#pragma once

#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"
#include "windowed.hpp"

namespace vexal {

// Product of two columns of the same bar.
class Multiply final : public Elementwise<Multiply, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Multiply";

  [[nodiscard]] static std::expected<Multiply, VexalError> create(Names inputs, Names outputs) {
    if (auto failure = first_failure(inputs_exactly(inputs, 2), outputs_not_empty(outputs))) return *failure;
    return Multiply(std::move(inputs), std::move(outputs));
  }

 private:
  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static OptionalValue value(std::span<const OptionalValue, 2> x) {
    if (!x[0] || !x[1]) return std::nullopt;
    return *x[0] * *x[1];
  }
};

template <>
struct Describe<Multiply> : Described<Multiply> {
  static constexpr std::string_view summary = "Element-wise multiplication: A * B.";
  static constexpr Option<Multiply> options[] = {inputs_option<Multiply>, outputs_option<Multiply>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[NaN]`` if either input is ``NaN``.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view reads = "a, b";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Multiply([\"close\", \"volume\"], [\"dollar_volume\"])";
};

}  // namespace vexal
