#pragma once

#include <string_view>

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

}  // namespace vexal
