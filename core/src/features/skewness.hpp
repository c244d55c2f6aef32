#pragma once

#include <cstddef>
#include <string_view>

#include "descriptor.hpp"
#include "features/standardized_moment.hpp"

namespace vexal {

// Rolling bias-corrected sample skewness (the adjusted Fisher-Pearson G1).
class Skewness final : public StandardizedMoment<Skewness> {
 public:
  static constexpr std::string_view snapshot_tag = "Skewness";
  static constexpr std::size_t min_window = 3;
  static constexpr std::string_view window_message = "window must be >= 3";

  [[nodiscard]] static double correct(double sum_of_cubes, double n);
  // Σ ((x − mean) / s)³, as (z · z) · z.
  static constexpr auto power_sums = cube_sums_kernel;

 private:
  friend class StandardizedMoment<Skewness>;
  using StandardizedMoment::StandardizedMoment;
};

// Its driver is compiled once, in skewness.cpp.
extern template class WindowedState<Skewness, 1>;
extern template class Stepped<Skewness, 1, 1, 1>;

template <>
struct Describe<Skewness> : Described<Skewness> {
  static constexpr std::string_view summary = "Rolling sample skewness (Fisher-Pearson corrected).";
  static constexpr std::string_view formula =
      "n / ((n - 1) * (n - 2)) * sum(z^3) over the last n = ``window`` values, z = (x - mean) / "
      "s with s the sample standard deviation (ddof 1): the adjusted Fisher-Pearson G1.";
  static constexpr Option<Skewness> options[] = {inputs_option<Skewness>, window_option<Skewness>,
                                                 outputs_option<Skewness>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "Skewness([\"close\"], 20, [\"skew\"])";
};

}  // namespace vexal
