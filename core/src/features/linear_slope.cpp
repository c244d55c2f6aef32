#include "features/linear_slope.hpp"

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "internal_failure.hpp"
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

void LinearSlope::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                 std::size_t n) {
  require_values(in, 2);
  require_values(out, 2);
  const ChunkWindow xw(xs_, n, [&](std::size_t t) { return in[0].at(t); });
  const ChunkWindow yw(ys_, n, [&](std::size_t t) { return in[1].at(t); });
  const std::size_t first = xw.first_full();
  const std::size_t m = n - first;
  std::vector<double> mean_x(m), mean_y(m), sxx(m), sxy(m), syy(m);
  if (m > 0) {
    const double* x = xw.window_of(first);
    const double* y = yw.window_of(first);
    const auto size = static_cast<double>(window_);
    window_sums(x, m, window_, mean_x.data());
    window_sums(y, m, window_, mean_y.data());
    for (std::size_t i = 0; i < m; ++i) {
      mean_x[i] = mean_x[i] / size;
      mean_y[i] = mean_y[i] / size;
    }
    window_co_moments(x, y, m, window_, mean_x.data(), mean_y.data(), sxx.data(), sxy.data(), syy.data());
  }
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t i = t - first;
    if (t < first || !xw.complete(t) || !yw.complete(t) || sxx[i] == 0.0) {
      out[0].set_absent(t);
      out[1].set_absent(t);
      continue;
    }
    out[0].set(t, sxy[i] / sxx[i]);
    if (syy[i] != 0.0) {
      out[1].set(t, (sxy[i] * sxy[i]) / (syy[i] * sxx[i]));
    } else {
      out[1].set_absent(t);
    }
  }
  set_absent_from(out, 2, n);
  xw.store(xs_);
  yw.store(ys_);
}

}  // namespace vexal
