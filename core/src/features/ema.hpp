#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "ring_buffer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Exponential moving average seeded with the simple average of the first
// full window; an absent input drops the average and seeding starts again.
class Ema final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "Ema";

  [[nodiscard]] static std::expected<Ema, VexalError> create(Names inputs, std::size_t window, Names outputs);
  // Rebuilds a saved Ema (the fields after its tag).
  [[nodiscard]] static std::expected<Ema, VexalError> load(SnapshotReader& in);

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override;
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void save(SnapshotWriter& out) const override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  Ema(Names inputs, std::size_t window, Names outputs, ValueBuffer seed)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        seed_(std::move(seed)),
        window_(window),
        alpha_(2.0 / (static_cast<double>(window) + 1.0)) {}

  // The step from the current average; only called once seeded.
  [[nodiscard]] double next(double x) const {
    const double keep = 1.0 - alpha_;
    return keep * *current_ + alpha_ * x;
  }

  OptionalValue current_;  // present only once seeded; the seed buffer is then empty
  ValueBuffer seed_;
  std::size_t window_;
  double alpha_;
};

}  // namespace vexal
