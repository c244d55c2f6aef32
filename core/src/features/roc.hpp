#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/lookback_return.hpp"

namespace vexal {

// Rate of change in percent over `window` bars: (x[t] / x[t − w] − 1) · 100,
// in TA-Lib's order of operations so the two agree to the bit. An old value
// of zero has no rate.
class Roc final : public LookbackReturn<Roc> {
 public:
  static constexpr std::string_view snapshot_tag = "Roc";

  [[nodiscard]] static OptionalValue compare(double old_value, double new_value) {
    if (old_value == 0.0) return std::nullopt;
    return (new_value / old_value - 1.0) * 100.0;
  }

 private:
  friend class LookbackReturn<Roc>;
  using LookbackReturn::LookbackReturn;
};

template <>
struct Describe<Roc> : Described<Roc> {
  static constexpr std::string_view summary =
      "Rate of change of inputs[0] in percent: (x[t] / x[t - window] - 1) * 100. The first "
      "value is at bar ``window``; TA-Lib's ROC agrees bit for bit from its first value. NaN "
      "where x[t - window] is 0 (TA-Lib writes 0 there).";
  static constexpr Option<Roc> options[] = {inputs_option<Roc>, window_option<Roc>, outputs_option<Roc>};
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "ROC: first";
  static constexpr std::string_view state = "size window, values (≤ window + 1)";
  static constexpr std::string_view example = "Roc([\"close\"], 10, [\"roc\"])";
};

}  // namespace vexal
