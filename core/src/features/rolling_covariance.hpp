#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "columns/chunk_window.hpp"
#include "columns/window_by_bar.hpp"
#include "columns/window_sums.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// Sample covariance of the first two inputs over the last `window` pairs, in
// two passes: the means, then Σ (xᵢ − x̄)(yᵢ − ȳ) / (w − 1). A window where
// either column has an absent value has no value.
class RollingCovariance final : public Windowed<RollingCovariance, 2, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingCovariance";

  [[nodiscard]] static std::expected<RollingCovariance, VexalError> create(Names inputs, std::size_t window,
                                                                           Names outputs) {
    if (auto failure = first_failure(inputs_contain(inputs, 2, "x and y"), outputs_not_empty(outputs),
                                     window_at_least(window, 2)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window), reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return RollingCovariance(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 2);
    require_values(out, 1);
    const std::size_t w = window();
    const ChunkWindow xs(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
    const ChunkWindow ys(buffer(1), n, [&](std::size_t t) { return in[1].at(t); });
    const std::vector<double> mean_x = means_by_bar(xs, w, n);
    const std::vector<double> mean_y = means_by_bar(ys, w, n);
    std::vector<double> sxx(n, 0.0), syy(n, 0.0), sxy(n, 0.0);
    const std::size_t first = xs.first_full();
    if (first < n) {
      // The product of two deviations is the same either way round, so the
      // co-moment kernel's sxy is update's sum to the bit.
      window_co_moments(xs.window_of(first), ys.window_of(first), n - first, w, mean_x.data() + first,
                        mean_y.data() + first, sxx.data() + first, sxy.data() + first, syy.data() + first);
    }
    const double divisor = static_cast<double>(w - 1);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(xs, t) && ys.complete(t)) {
        out[0].set(t, sxy[t] / divisor);
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    xs.store(buffer(0));
    ys.store(buffer(1));
  }

 private:
  friend Windowed;
  using Windowed::Windowed;

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue>) {
    const auto x = complete_run(buffer(0));
    const auto y = complete_run(buffer(1));
    if (!x || !y) return {std::nullopt};
    const double mean_x = mean_of(*x);
    const double mean_y = mean_of(*y);
    double sxy = 0.0;
    for (std::size_t i = 0; i < x->size(); ++i) sxy += (*(*x)[i] - mean_x) * (*(*y)[i] - mean_y);
    return {sxy / static_cast<double>(x->size() - 1)};
  }
};

template <>
struct Describe<RollingCovariance> : Described<RollingCovariance> {
  static constexpr std::string_view summary =
      "Sample covariance of inputs [x, y] over ``window`` bars: sum((x[i] - mean_x) * (y[i] - "
      "mean_y)) / (window - 1), from the window means (ddof 1, as pandas' ``rolling(window).cov``). First "
      "value at bar ``window`` - 1.";
  static constexpr Option<RollingCovariance> options[] = {
      inputs_option<RollingCovariance>, window_option<RollingCovariance>, outputs_option<RollingCovariance>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view reads = "x, y";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values x, values y";
  static constexpr std::string_view example = "RollingCovariance([\"open\", \"close\"], 20, [\"cov\"])";
};

}  // namespace vexal
