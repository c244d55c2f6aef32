#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/lookback_return.hpp"

namespace vexal {

// Momentum: the change of the first input over `window` bars, x[t] − x[t − w].
class Momentum final : public LookbackReturn<Momentum> {
 public:
  static constexpr std::string_view snapshot_tag = "Momentum";

  [[nodiscard]] static OptionalValue compare(double old_value, double new_value) {
    return new_value - old_value;
  }

 private:
  friend class LookbackReturn<Momentum>;
  using LookbackReturn::LookbackReturn;
};

template <>
struct Describe<Momentum> : Described<Momentum> {
  static constexpr std::string_view summary =
      "Momentum of inputs[0]: x[t] - x[t - window], the change over ``window`` bars. The first "
      "value is at bar ``window``; TA-Lib's MOM agrees bit for bit from its first value.";
  static constexpr Option<Momentum> options[] = {inputs_option<Momentum>, window_option<Momentum>,
                                                 outputs_option<Momentum>};
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "MOM: first";
  static constexpr std::string_view state = "size window, values (≤ window + 1)";
  static constexpr std::string_view example = "Momentum([\"close\"], 10, [\"mom\"])";
};

}  // namespace vexal
