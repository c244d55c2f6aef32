#pragma once

#include <cmath>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"
#include "windowed.hpp"

namespace vexal {

// Sign of one column: -1, 0 or +1.
class Sign final : public Elementwise<Sign, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Sign";

  [[nodiscard]] static std::expected<Sign, VexalError> create(Names inputs, Names outputs) {
    if (auto failure = first_failure(inputs_exactly(inputs, 1), outputs_not_empty(outputs))) return *failure;
    return Sign(std::move(inputs), std::move(outputs));
  }

 private:
  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static OptionalValue value(std::span<const OptionalValue, 1> x) {
    if (!x[0]) return std::nullopt;
    const double v = *x[0];
    // numpy's order of tests: -0.0 compares equal to 0 and gives +0.0, and a
    // NaN fails all three and flows through.
    if (v > 0.0) return 1.0;
    if (v < 0.0) return -1.0;
    if (v == 0.0) return 0.0;
    return v;
  }
};

template <>
struct Describe<Sign> : Described<Sign> {
  static constexpr std::string_view summary =
      "Element-wise sign: -1 where x < 0, 0 where x == 0, +1 where x > 0.";
  static constexpr Option<Sign> options[] = {inputs_option<Sign>, outputs_option<Sign>};
  static constexpr std::string_view update_doc = "Process one bar. Returns ``[NaN]`` if input is ``NaN``.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Sign([\"ret\"], [\"direction\"])";
};

}  // namespace vexal
