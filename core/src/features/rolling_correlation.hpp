#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Pearson correlation of the first two inputs over the last `window` pairs,
// in two passes (the means, then the sums of products of deviations) and
// clamped to [−1, 1] against rounding. A window where either column is
// constant has no value.
class RollingCorrelation final : public Windowed<RollingCorrelation, 2, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingCorrelation";

  [[nodiscard]] static std::expected<RollingCorrelation, VexalError> create(Names inputs, std::size_t window,
                                                                            Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend class Windowed<RollingCorrelation, 2, 2>;
  // r from the co-moment sums, absent for a flat window.
  [[nodiscard]] static OptionalValue correlation(double sxx, double syy, double sxy);
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

  RollingCorrelation(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

template <>
struct Describe<RollingCorrelation> : Described<RollingCorrelation> {
  static constexpr std::string_view summary =
      "Pearson correlation of inputs [x, y] over ``window`` bars: sxy / sqrt(sxx * syy) from "
      "the deviations from the means; NaN where a column is constant.";
  static constexpr Option<RollingCorrelation> options[] = {inputs_option<RollingCorrelation>,
                                                           window_option<RollingCorrelation>,
                                                           outputs_option<RollingCorrelation>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view reads = "x, y";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "CORREL: first";
  static constexpr std::string_view state = "size window, values x, values y";
  static constexpr std::string_view example = "RollingCorrelation([\"open\", \"close\"], 20, [\"corr\"])";
};

}  // namespace vexal
