#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "ring_buffer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Rogers-Satchell's drift-independent OHLC volatility over the last `window`
// bars, per bar in log-price units. Reads high, low, open, close.
class RogersSatchellVolatility final : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<RogersSatchellVolatility, VexalError> create(Names inputs,
                                                                                  std::size_t window,
                                                                                  Names outputs);

  static constexpr std::string_view snapshot_tag = "RogersSatchellVolatility";

  // Rebuilds a saved RogersSatchellVolatility (the fields after its tag).
  [[nodiscard]] static std::expected<RogersSatchellVolatility, VexalError> load(SnapshotReader& in);

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override { terms_.clear(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void save(SnapshotWriter& out) const override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  RogersSatchellVolatility(Names inputs, std::size_t window, Names outputs, ValueBuffer terms)
      : NamedTransform(std::move(inputs), std::move(outputs)), terms_(std::move(terms)), window_(window) {}

  // The volatility of the terms as they stand.
  [[nodiscard]] OptionalValue value() const;

  ValueBuffer terms_;  // each bar's variance term, absent for an invalid bar
  std::size_t window_;
};

}  // namespace vexal
