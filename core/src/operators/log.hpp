#pragma once

#include <cmath>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "operators/elementwise.hpp"
#include "windowed.hpp"

namespace vexal {

// Natural logarithm of one column; absent unless the value is > 0, as
// NegLog's is.
class Log final : public Elementwise<Log, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Log";

  [[nodiscard]] static std::expected<Log, VexalError> create(Names inputs, Names outputs) {
    if (auto failure = first_failure(inputs_exactly(inputs, 1), outputs_not_empty(outputs))) return *failure;
    return Log(std::move(inputs), std::move(outputs));
  }

 private:
  friend Elementwise;
  using Elementwise::Elementwise;

  [[nodiscard]] static OptionalValue value(std::span<const OptionalValue, 1> x) {
    // A NaN fails the comparison too; ln(+inf) is +inf.
    if (!x[0] || !(*x[0] > 0.0)) return std::nullopt;
    return std::log(*x[0]);
  }
};

template <>
struct Describe<Log> : Described<Log> {
  static constexpr std::string_view summary = "Natural logarithm: ln(x), ``NaN`` where x <= 0.";
  static constexpr Option<Log> options[] = {inputs_option<Log>, outputs_option<Log>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[NaN]`` if input is ``NaN`` or <= 0.";
  static constexpr std::string_view reset_doc = kNoOpResetText;
  static constexpr std::string_view family = "operators";
  static constexpr std::string_view warm_up = "0";
  static constexpr std::string_view state = "nothing";
  static constexpr MissingPolicy missing = MissingPolicy::PassesThrough;
  static constexpr std::string_view example = "Log([\"close\"], [\"log_close\"])";
};

}  // namespace vexal
