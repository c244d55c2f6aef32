#pragma once

#include <cstddef>
#include <string_view>

#include "features/standardized_moment.hpp"

namespace vexal {

// Rolling bias-corrected sample excess kurtosis (Fisher's G2, 0 for a normal
// distribution).
class Kurtosis final : public StandardizedMoment<Kurtosis> {
 public:
  static constexpr std::string_view snapshot_tag = "Kurtosis";
  static constexpr std::size_t min_window = 4;
  static constexpr std::string_view window_message = "window must be >= 4";

  [[nodiscard]] static double power(double z) {
    const double z2 = z * z;
    return z2 * z2;
  }
  [[nodiscard]] static double correct(double sum_of_fourth_powers, double n);
  static constexpr auto power_sums = &window_fourth_sums;

 private:
  friend class StandardizedMoment<Kurtosis>;
  using StandardizedMoment::StandardizedMoment;
};

}  // namespace vexal
