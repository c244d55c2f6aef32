#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <string_view>

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "ring_buffer.hpp"
#include "tools/rolling.hpp"
#include "transform_base.hpp"
#include "window_stats.hpp"

namespace vexal {

// What the rolling shape statistics share: the last `window` values of the
// first input, standardised with the window's mean and sample standard
// deviation, and a sum of a power of the standardised values. `Derived`
// supplies `min_window` with its `window_message`, `power(z)` and
// `correct(sum, n)`, which turns the sum into the bias-corrected statistic.
template <class Derived>
class StandardizedMoment : public NamedTransform {
 public:
  [[nodiscard]] static std::expected<Derived, VexalError> create(Names inputs, std::size_t window,
                                                                 Names outputs) {
    if (inputs.empty()) return invalid_input("inputs must not be empty");
    if (outputs.empty()) return invalid_input("outputs must not be empty");
    if (window < Derived::min_window) return invalid_input(Derived::window_message);
    auto buffer = reserve_window(window);
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    return Derived(std::move(inputs), window, std::move(outputs), std::move(*buffer));
  }

  // Rebuilds a saved statistic (the fields after its tag).
  [[nodiscard]] static std::expected<Derived, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const std::size_t window = in.size("window");
    auto made = in.built(Derived::snapshot_tag, create(std::move(inputs), window, std::move(outputs)));
    if (!made) return in.failure();
    in.values_into(made->buffer_, "values");
    return in.result(std::move(*made));
  }

  [[nodiscard]] std::size_t window() const { return window_; }

  [[nodiscard]] std::size_t warm_up_period() const override { return window_ - 1; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, window_, outputs_));
  }
  void reset() override { buffer_.clear(); }

  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    buffer_.push_back(values[0]);
    return {value()};
  }

  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    const auto displaced = buffer_.push_back_undoable(values[0]);
    const OptionalValue result = value();
    buffer_.undo(displaced);
    return {result};
  }

  void save(SnapshotWriter& out) const override {
    save_names(out, Derived::snapshot_tag);
    out.size(window_);
    out.values(buffer_);
  }

  // The three passes of update, each over every window of the chunk.
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const ChunkWindow window(buffer_, n, [&](std::size_t t) { return in[0].at(t); });
    const std::size_t first = window.first_full();
    const std::size_t m = n - first;
    std::vector<double> mean(m), variance(m), scale(m), sums(m);
    if (m > 0) {
      const double* x = window.window_of(first);
      const auto size = static_cast<double>(window_);
      window_sums(x, m, window_, mean.data());
      for (std::size_t i = 0; i < m; ++i) mean[i] = mean[i] / size;
      window_square_deviations(x, m, window_, mean.data(), variance.data());
      const auto divisor = static_cast<double>(window_ - 1);
      for (std::size_t i = 0; i < m; ++i) {
        variance[i] = variance[i] / divisor;
        scale[i] = std::sqrt(variance[i]);
      }
      Derived::power_sums(x, m, window_, mean.data(), scale.data(), sums.data());
    }
    for (std::size_t t = 0; t < n; ++t) {
      if (t >= first && window.complete(t) && variance[t - first] != 0.0) {
        out[0].set(t, Derived::correct(sums[t - first], static_cast<double>(window_)));
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    window.store(buffer_);
  }

 protected:
  StandardizedMoment(Names inputs, std::size_t window, Names outputs, ValueBuffer buffer)
      : NamedTransform(std::move(inputs), std::move(outputs)), buffer_(std::move(buffer)), window_(window) {}

 private:
  [[nodiscard]] OptionalValue value() {
    const auto run = complete_run(buffer_);
    if (!run) return std::nullopt;
    const auto each = [&](auto&& f) {
      for (const OptionalValue& v : *run) f(*v);
    };
    const SampleMoments m = sample_moments(each, window_);
    // A constant window has no shape. A NaN variance is not caught here: it
    // flows on into a NaN result.
    if (m.variance == 0.0) return std::nullopt;
    const double s = std::sqrt(m.variance);
    double sum = 0.0;
    each([&](double x) { sum += Derived::power((x - m.mean) / s); });
    return Derived::correct(sum, static_cast<double>(window_));
  }

  ValueBuffer buffer_;
  std::size_t window_;
};

}  // namespace vexal
