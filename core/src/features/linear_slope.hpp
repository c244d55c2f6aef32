#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "ring_buffer.hpp"
#include "transform_base.hpp"

namespace vexal {

// Ordinary least squares of y (second input) on x (first input) over the last
// `window` pairs: the slope and R², in the order of the two output names.
class LinearSlope final : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<LinearSlope, VexalError> create(Names inputs, std::size_t window,
                                                                     Names outputs);

  static constexpr std::string_view snapshot_tag = "LinearSlope";

  // Rebuilds a saved LinearSlope (the fields after its tag).
  [[nodiscard]] static std::expected<LinearSlope, VexalError> load(SnapshotReader& in);

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override;
  void reset() override;
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void save(SnapshotWriter& out) const override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  LinearSlope(Names inputs, std::size_t window, Names outputs, ValueBuffer xs, ValueBuffer ys)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        xs_(std::move(xs)),
        ys_(std::move(ys)),
        window_(window) {}

  // The slope and R² of the windows as they stand.
  [[nodiscard]] UpdateResult fit();

  // Same capacity and one push each per update, so they stay in lockstep.
  ValueBuffer xs_;
  ValueBuffer ys_;
  std::size_t window_;
};

}  // namespace vexal
