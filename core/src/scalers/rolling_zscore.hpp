#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "ring_buffer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Z-score of each bar against the mean and sample standard deviation of the
// last `window` bars, the current one included.
class RollingZScore final : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<RollingZScore, VexalError> create(Names inputs, std::size_t window,
                                                                       Names outputs);

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override { buffer_.clear(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  RollingZScore(Names inputs, std::size_t window, Names outputs, ValueBuffer buffer)
      : NamedTransform(std::move(inputs), std::move(outputs)), buffer_(std::move(buffer)), window_(window) {}

  ValueBuffer buffer_;
  std::size_t window_;
};

}  // namespace vexal
