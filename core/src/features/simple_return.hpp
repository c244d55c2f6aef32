#pragma once

#include <string_view>

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

}  // namespace vexal
