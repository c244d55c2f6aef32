#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "columns/bar_window.hpp"
#include "columns/chunk_window.hpp"
#include "columns/column.hpp"
#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "transform_base.hpp"
#include "value_buffer.hpp"
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// Fractional differencing of order d over a fixed-width window: weights
// w0 = 1, wk = −w(k−1) · (d − k + 1) / k, kept up to the first |wk| below
// `threshold`, and the output Σ wk · x(t−k) summed from the oldest term to
// the newest. The series stays stationary for d near the order that makes
// it so, yet keeps the memory an integer difference would erase. An absent
// value spoils the windows holding it.
class FracDiff final : public NamedTransform {
 public:
  static constexpr std::string_view snapshot_tag = "FracDiff";

  [[nodiscard]] static std::expected<FracDiff, VexalError> create(Names inputs, double d, Names outputs,
                                                                  double threshold = 1e-5,
                                                                  std::size_t max_window = 10'000) {
    if (auto failure = first_failure(
            inputs_not_empty(inputs), outputs_not_empty(outputs),
            require(d >= 0.0 && d <= 2.0, "d must be in [0, 2]"),
            require(threshold > 0.0 && std::isfinite(threshold), "threshold must be positive and finite"),
            window_non_zero(max_window)))
      return *failure;
    std::vector<double> weights = {1.0};
    for (std::size_t k = 1;; ++k) {
      const double next = -weights.back() * (d - static_cast<double>(k) + 1.0) / static_cast<double>(k);
      if (std::fabs(next) < threshold) break;
      if (weights.size() == max_window) {
        return invalid_input("d=" + text(d) + " with threshold=" + text(threshold) + " needs more than " +
                             std::to_string(max_window) +
                             " weights (max_window); raise threshold or max_window");
      }
      weights.push_back(next);
    }
    auto buffer = reserve_window(weights.size());
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    return FracDiff(std::move(inputs), std::move(outputs), d, threshold, max_window, std::move(weights),
                    std::move(*buffer));
  }

  [[nodiscard]] double d() const { return d_; }
  [[nodiscard]] double threshold() const { return threshold_; }
  [[nodiscard]] std::size_t max_window() const { return max_window_; }
  // The number of weights kept: the window each value reads.
  [[nodiscard]] std::size_t width() const { return weights_.size(); }

  [[nodiscard]] std::size_t warm_up_period() const override { return width() - 1; }
  [[nodiscard]] std::size_t work_per_bar() const override { return width(); }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return fresh_from(create(inputs_, d_, outputs_, threshold_, max_window_));
  }
  void reset() override { window_.clear(); }

  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    window_.push_back(values[0]);
    return this_bar();
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    require_values(values, 1);
    const auto displaced = window_.push_back_undoable(values[0]);
    const UpdateResult result = this_bar();
    window_.undo(displaced);
    return result;
  }
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const ChunkWindow chunk(window_, n, [&](std::size_t t) { return in[0].at(t); });
    step(chunk, out[0], n);
    set_absent_from(out, 1, n);
    chunk.store(window_);
  }

  // Tag, names, d, threshold, max_window, then the window (≤ width values).
  void save(SnapshotWriter& out) const override {
    save_names(out, snapshot_tag);
    out.f64(d_);
    out.f64(threshold_);
    out.size(max_window_);
    out.values(window_);
  }
  [[nodiscard]] static std::expected<FracDiff, VexalError> load(SnapshotReader& in) {
    auto [inputs, outputs] = read_names(in);
    const double d = in.f64("d");
    const double threshold = in.f64("threshold");
    const std::size_t max_window = in.size("max_window");
    auto made =
        in.built(snapshot_tag, create(std::move(inputs), d, std::move(outputs), threshold, max_window));
    if (!made) return in.failure();
    in.values_into(made->window_, "window values");
    return in.result(std::move(*made));
  }

 private:
  FracDiff(Names inputs, Names outputs, double d, double threshold, std::size_t max_window,
           std::vector<double> weights, ValueBuffer window)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        d_(d),
        threshold_(threshold),
        max_window_(max_window),
        weights_(std::move(weights)),
        window_(std::move(window)) {}

  // The shortest text that reads back as v, as Python writes most floats.
  static std::string text(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, ec == std::errc{} ? end : buf);
  }

  // Every bar of a chunk (ChunkWindow) or the newest one (BarWindow over
  // the live window, n = 1): the weighted sum of a complete window, the
  // oldest value taking the last weight.
  template <class Window>
  void step(const Window& window, ColumnOut out, std::size_t n) const {
    const std::size_t w = weights_.size();
    for (std::size_t t = 0; t < n; ++t) {
      if (!complete_at(window, t)) {
        out.set_absent(t);
        continue;
      }
      const double* oldest = window.window_of(t);
      double sum = 0.0;
      for (std::size_t i = 0; i < w; ++i) sum += weights_[w - 1 - i] * oldest[i];
      out.set(t, sum);
    }
  }

  [[nodiscard]] UpdateResult this_bar() {
    double value = 0.0;
    std::uint8_t valid = 0;
    step(BarWindow(window_), ColumnOut{&value, &valid}, 1);
    return {valid != 0 ? OptionalValue(value) : std::nullopt};
  }

  double d_;
  double threshold_;
  std::size_t max_window_;
  std::vector<double> weights_;  // w0 (the newest value's) first
  ValueBuffer window_;
};

template <>
struct Describe<FracDiff> : Described<FracDiff> {
  static constexpr std::string_view summary =
      "Fractional differencing of inputs[0] with a fixed-width window: weights w0 = 1, wk = "
      "-w(k-1) * (d - k + 1) / k, kept up to the first |wk| < ``threshold`` (refused if that "
      "takes more than ``max_window`` weights), and the output sum(wk * x[t - k]) added from "
      "the oldest term to the newest. ``d`` in [0, 2]: 0 gives the input, 1 its change.";
  static constexpr Option<FracDiff> options[] = {
      inputs_option<FracDiff>,
      {"d", OptionType::Number, {}, {}, [](const FracDiff& t) -> OptionValue { return t.d(); }},
      outputs_option<FracDiff>,
      {"threshold",
       OptionType::Number,
       {},
       1e-5,
       [](const FracDiff& t) -> OptionValue { return t.threshold(); }},
      {"max_window", OptionType::Count, 10'000, {}, [](const FracDiff& t) -> OptionValue {
         return t.max_window();
       }}};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "d, threshold=1e-05, max_window=10000";
  static constexpr std::string_view warm_up = "width − 1";
  static constexpr std::string_view state = "f64 d, f64 threshold, size max_window, values window (≤ width)";
  static constexpr std::string_view example = "FracDiff([\"close\"], 0.4, [\"close_fd\"])";
};

}  // namespace vexal
