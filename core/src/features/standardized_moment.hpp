#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <string_view>

#include "columns/chunk_window.hpp"
#include "columns/window_sums.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "tools/rolling.hpp"
#include "window_stats.hpp"
#include "windowed.hpp"

namespace vexal {

// What the rolling shape statistics share: the last `window` values of the
// first input, standardised with the window's mean and sample standard
// deviation, and a sum of a power of the standardised values. `Derived`
// supplies `min_window` with its `window_message`, `power(z)` and
// `correct(sum, n)`, which turns the sum into the bias-corrected statistic.
template <class Derived>
class StandardizedMoment : public Windowed<Derived, 1, 1> {
  using Base = Windowed<Derived, 1, 1>;

 public:
  static constexpr std::array<std::string_view, 1> buffer_labels{"values"};

  [[nodiscard]] static std::expected<Derived, VexalError> create(Names inputs, std::size_t window,
                                                                 Names outputs) {
    if (auto failure = first_failure(inputs_not_empty(inputs), outputs_not_empty(outputs),
                                     require(window >= Derived::min_window, Derived::window_message)))
      return *failure;
    auto buffers = all_reserved(reserve_window(window));
    if (!buffers) return std::unexpected(std::move(buffers.error()));
    return Derived(std::move(inputs), window, std::move(outputs), std::move(*buffers));
  }

  // The three passes of update, each over every window of the chunk.
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override {
    require_values(in, 1);
    require_values(out, 1);
    const std::size_t length = this->window();
    const ChunkWindow chunk(this->buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
    const std::size_t first = chunk.first_full();
    const std::size_t m = n - first;
    std::vector<double> mean(m), variance(m), scale(m), sums(m);
    if (m > 0) {
      const double* x = chunk.window_of(first);
      const auto size = static_cast<double>(length);
      window_sums(x, m, length, mean.data());
      for (std::size_t i = 0; i < m; ++i) mean[i] = mean[i] / size;
      window_square_deviations(x, m, length, mean.data(), variance.data());
      const auto divisor = static_cast<double>(length - 1);
      for (std::size_t i = 0; i < m; ++i) {
        variance[i] = variance[i] / divisor;
        scale[i] = std::sqrt(variance[i]);
      }
      Derived::power_sums(x, m, length, mean.data(), scale.data(), sums.data());
    }
    for (std::size_t t = 0; t < n; ++t) {
      if (t >= first && chunk.complete(t) && variance[t - first] != 0.0) {
        out[0].set(t, Derived::correct(sums[t - first], static_cast<double>(length)));
      } else {
        out[0].set_absent(t);
      }
    }
    set_absent_from(out, 1, n);
    chunk.store(this->buffer(0));
  }

 protected:
  using Base::Base;

 private:
  friend Base;

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue>) {
    const auto run = complete_run(this->buffer(0));
    if (!run) return {std::nullopt};
    const auto each = [&](auto&& f) {
      for (const double v : *run) f(v);
    };
    const std::size_t length = this->window();
    const SampleMoments m = sample_moments(each, length);
    // A constant window has no shape. A NaN variance is not caught here: it
    // flows on into a NaN result.
    if (m.variance == 0.0) return {std::nullopt};
    const double s = std::sqrt(m.variance);
    double sum = 0.0;
    each([&](double x) { sum += Derived::power((x - m.mean) / s); });
    return {Derived::correct(sum, static_cast<double>(length))};
  }
};

}  // namespace vexal
