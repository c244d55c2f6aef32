#pragma once

#include <cstddef>
#include <string_view>

#include "features/standardized_moment.hpp"

namespace vexal {

// Rolling bias-corrected sample skewness (the adjusted Fisher-Pearson G1).
class Skewness final : public StandardizedMoment<Skewness> {
 public:
  static constexpr std::string_view snapshot_tag = "Skewness";
  static constexpr std::size_t min_window = 3;
  static constexpr std::string_view window_message = "window must be >= 3";

  [[nodiscard]] static double power(double z) { return (z * z) * z; }
  [[nodiscard]] static double correct(double sum_of_cubes, double n);
  static constexpr auto power_sums = &window_cube_sums;

 private:
  friend class StandardizedMoment<Skewness>;
  using StandardizedMoment::StandardizedMoment;
};

}  // namespace vexal
