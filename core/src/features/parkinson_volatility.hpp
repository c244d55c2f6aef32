#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "ring_buffer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Parkinson's high-low volatility over the last `window` bars, per bar in
// log-price units: sqrt(mean(ln(H/L)²) / (4 ln 2)). Reads high, then low.
class ParkinsonVolatility final : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<ParkinsonVolatility, VexalError> create(Names inputs, std::size_t window,
                                                                             Names outputs);

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override { terms_.clear(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  ParkinsonVolatility(Names inputs, std::size_t window, Names outputs, ValueBuffer terms)
      : NamedTransform(std::move(inputs), std::move(outputs)), terms_(std::move(terms)), window_(window) {}

  ValueBuffer terms_;  // each bar's ln(H/L)², absent for an invalid bar
  std::size_t window_;
};

}  // namespace vexal
