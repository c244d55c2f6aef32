#pragma once

#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"
#include "windowed.hpp"

namespace vexal {

// Sum of two columns of the same bar.
class Add final : public Elementwise<Add, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Add";

  [[nodiscard]] static std::expected<Add, VexalError> create(Names inputs, Names outputs) {
    if (auto failure = first_failure(inputs_exactly(inputs, 2), outputs_not_empty(outputs))) return *failure;
    return Add(std::move(inputs), std::move(outputs));
  }

 private:
  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static OptionalValue value(std::span<const OptionalValue, 2> x) {
    if (!x[0] || !x[1]) return std::nullopt;
    return *x[0] + *x[1];
  }
};

template <>
struct Describe<Add> : Described<Add> {
  static constexpr std::string_view summary = "Element-wise addition: A + B.";
  static constexpr Option<Add> options[] = {inputs_option<Add>, outputs_option<Add>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[NaN]`` if either input is ``NaN``.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view reads = "a, b";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Add([\"sma_fast\", \"sma_slow\"], [\"sma_sum\"])";
};

}  // namespace vexal
