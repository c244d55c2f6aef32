#pragma once

#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"

namespace vexal {

// Negative natural logarithm of one column; absent unless the value is > 0.
class NegLog final : public Elementwise<NegLog, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "NegLog";

  [[nodiscard]] static std::expected<NegLog, VexalError> create(Names inputs, Names outputs);

 private:
  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static OptionalValue value(std::span<const OptionalValue, 1> x);
};

template <>
struct Describe<NegLog> : Described<NegLog> {
  static constexpr std::string_view summary = "Negative natural logarithm: -ln(x).";
  static constexpr Option<NegLog> options[] = {inputs_option<NegLog>, outputs_option<NegLog>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[NaN]`` if input is ``NaN`` or <= 0.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "NegLog([\"close\"], [\"neg_log\"])";
};

}  // namespace vexal
