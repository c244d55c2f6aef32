#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

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

  static constexpr std::string_view snapshot_tag = "RollingZScore";

  // Rebuilds a saved RollingZScore (the fields after its tag).
  [[nodiscard]] static std::expected<RollingZScore, VexalError> load(SnapshotReader& in);

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override { buffer_.clear(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void save(SnapshotWriter& out) const override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  RollingZScore(Names inputs, std::size_t window, Names outputs, ValueBuffer buffer)
      : NamedTransform(std::move(inputs), std::move(outputs)), buffer_(std::move(buffer)), window_(window) {}

  // The z-score of `x`, the newest entry, against the window as it stands.
  [[nodiscard]] OptionalValue score(const OptionalValue& x) const;

  ValueBuffer buffer_;
  std::size_t window_;
};

}  // namespace vexal
