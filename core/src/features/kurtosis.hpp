#pragma once

#include <cstddef>
#include <string_view>

#include "descriptor.hpp"
#include "features/standardized_moment.hpp"

namespace vexal {

// Rolling bias-corrected sample excess kurtosis (Fisher's G2, 0 for a normal
// distribution).
class Kurtosis final : public StandardizedMoment<Kurtosis> {
 public:
  static constexpr std::string_view snapshot_tag = "Kurtosis";
  static constexpr std::size_t min_window = 4;
  static constexpr std::string_view window_message = "window must be >= 4";

  [[nodiscard]] static double correct(double sum_of_fourth_powers, double n);
  // Σ ((x − mean) / s)⁴, as (z · z) · (z · z).
  static constexpr auto power_sums = fourth_sums_kernel;

 private:
  friend class StandardizedMoment<Kurtosis>;
  using StandardizedMoment::StandardizedMoment;
};

// Its driver is compiled once, in kurtosis.cpp.
extern template class WindowedState<Kurtosis, 1>;
extern template class Stepped<Kurtosis, 1, 1, 1>;

template <>
struct Describe<Kurtosis> : Described<Kurtosis> {
  static constexpr std::string_view summary = "Rolling excess kurtosis (Fisher).";
  static constexpr std::string_view formula =
      "n * (n + 1) / ((n - 1) * (n - 2) * (n - 3)) * sum(z^4) - 3 * (n - 1)^2 / ((n - 2) * (n - "
      "3)) over the last n = ``window`` values, z = (x - mean) / s with s the sample standard "
      "deviation (ddof 1): Fisher's excess G2, 0 for a normal distribution.";
  static constexpr Option<Kurtosis> options[] = {inputs_option<Kurtosis>, window_option<Kurtosis>,
                                                 outputs_option<Kurtosis>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "Kurtosis([\"close\"], 20, [\"kurt\"])";
};

}  // namespace vexal
