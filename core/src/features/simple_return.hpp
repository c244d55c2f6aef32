#pragma once

#include <string_view>

#include "descriptor.hpp"
#include "features/lookback_return.hpp"

namespace vexal {

// Arithmetic change over `window` bars, (new - old) / old; the new value may
// be zero or negative, the old one must be > 0.
class SimpleReturn final : public LookbackReturn<SimpleReturn> {
 public:
  static constexpr std::string_view snapshot_tag = "SimpleReturn";

  [[nodiscard]] static OptionalValue compare(double old_value, double new_value);

 private:
  friend class LookbackReturn<SimpleReturn>;
  using LookbackReturn::LookbackReturn;
};

// Its driver is compiled once, in simple_return.cpp.
extern template class WindowedState<SimpleReturn, 1>;
extern template class Stepped<SimpleReturn, 1, 1, 1>;

template <>
struct Describe<SimpleReturn> : Described<SimpleReturn> {
  static constexpr std::string_view summary =
      "Simple (arithmetic) return over a configurable lookback window.";
  static constexpr Option<SimpleReturn> options[] = {inputs_option<SimpleReturn>, window_option<SimpleReturn>,
                                                     outputs_option<SimpleReturn>};
  static constexpr std::string_view family = "returns";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view talib = "ROCP: first";
  static constexpr std::string_view state = "size window, values (≤ window + 1)";
  static constexpr std::string_view example = "SimpleReturn([\"close\"], 1, [\"ret\"])";
};

}  // namespace vexal
