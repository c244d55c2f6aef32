#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/lookback_return.hpp"

namespace vexal {

// Natural logarithm of the ratio of the current value to the one `window`
// bars earlier; both must be > 0.
class LogReturn final : public LookbackReturn<LogReturn> {
 public:
  static constexpr std::string_view snapshot_tag = "LogReturn";

  [[nodiscard]] static OptionalValue compare(double old_value, double new_value);

 private:
  friend class LookbackReturn<LogReturn>;
  using LookbackReturn::LookbackReturn;
};

// Its driver is compiled once, in log_return.cpp.
extern template class WindowedState<LogReturn, 1>;
extern template class Stepped<LogReturn, 1, 1, 1>;

template <>
struct Describe<LogReturn> : Described<LogReturn> {
  static constexpr std::string_view summary = "Log return over a configurable lookback window.";
  static constexpr std::string_view formula = "ln(x[t] / x[t - window]); absent unless both are > 0.";
  static constexpr Option<LogReturn> options[] = {inputs_option<LogReturn>, window_option<LogReturn>,
                                                  outputs_option<LogReturn>};
  static constexpr std::string_view family = "returns";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view state = "size window, values (≤ window + 1)";
  static constexpr std::string_view example = "LogReturn([\"close\"], 1, [\"log_ret\"])";
};

}  // namespace vexal
