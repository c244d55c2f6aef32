#include "features/linear_slope.hpp"

#include "window_stats.hpp"

namespace vexal {

std::expected<LinearSlope, VexalError> LinearSlope::create(Names inputs, std::size_t window, Names outputs) {
  if (inputs.size() < 2) return invalid_input("inputs must contain x and y columns");
  if (window < 2) return invalid_input("window must be >= 2");
  if (outputs.size() != 2) return invalid_input("outputs must contain exactly 2 names: [slope, r2]");
  auto xs = reserve_window(window);
  if (!xs) return std::unexpected(std::move(xs.error()));
  auto ys = reserve_window(window);
  if (!ys) return std::unexpected(std::move(ys.error()));
  return LinearSlope(std::move(inputs), window, std::move(outputs), std::move(*xs), std::move(*ys));
}

std::unique_ptr<StreamingTransform> LinearSlope::fresh() const {
  return fresh_from(create(inputs_, window_, outputs_));
}

void LinearSlope::reset() {
  xs_.clear();
  ys_.clear();
}

UpdateResult LinearSlope::update(std::span<const OptionalValue> values) {
  // Both values are checked before either buffer moves, so a short bar
  // cannot push an x without its y.
  require_values(values, 2);
  xs_.push_back(values[0]);
  ys_.push_back(values[1]);
  return fit();
}

UpdateResult LinearSlope::peek(std::span<const OptionalValue> values) {
  require_values(values, 2);
  const auto x_displaced = xs_.push_back_undoable(values[0]);
  const auto y_displaced = ys_.push_back_undoable(values[1]);
  const UpdateResult result = fit();
  ys_.undo(y_displaced);
  xs_.undo(x_displaced);
  return result;
}

std::expected<LinearSlope, VexalError> LinearSlope::load(SnapshotReader& in) {
  auto [inputs, outputs] = read_names(in);
  const std::size_t window = in.size("window");
  auto made = in.built(snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
  if (!made) return in.failure();
  in.values_into(made->xs_, "x values");
  in.values_into(made->ys_, "y values");
  if (in.ok() && made->xs_.size() != made->ys_.size()) {
    in.fail("LinearSlope holds " + std::to_string(made->xs_.size()) + " x values but " +
            std::to_string(made->ys_.size()) + " y values");
  }
  return in.result(std::move(*made));
}

void LinearSlope::save(SnapshotWriter& out) const {
  save_names(out, snapshot_tag);
  out.size(window_);
  out.values(xs_);
  out.values(ys_);
}

UpdateResult LinearSlope::fit() {
  const auto x = complete_run(xs_);
  const auto y = complete_run(ys_);
  if (!x || !y) return {std::nullopt, std::nullopt};
  const double mean_x = mean_of(*x);
  const double mean_y = mean_of(*y);
  double sxx = 0.0;
  double sxy = 0.0;
  double syy = 0.0;
  for (std::size_t i = 0; i < window_; ++i) {
    const double dx = *(*x)[i] - mean_x;
    const double dy = *(*y)[i] - mean_y;
    sxx += dx * dx;
    sxy += dy * dx;
    syy += dy * dy;
  }
  // All x equal: no line to fit. A NaN Sxx is not zero and flows through.
  if (sxx == 0.0) return {std::nullopt, std::nullopt};
  const double slope = sxy / sxx;
  // A constant y is fitted exactly by slope 0, but explains nothing.
  const OptionalValue r2 = syy != 0.0 ? OptionalValue((sxy * sxy) / (syy * sxx)) : std::nullopt;
  return {slope, r2};
}

}  // namespace vexal
