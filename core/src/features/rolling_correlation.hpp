#pragma once

#include <cstddef>
#include <expected>

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

}  // namespace vexal
