#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <string_view>

#include "columns/window_by_bar.hpp"
#include "columns/window_sums.hpp"
#include "error.hpp"
#include "internal_failure.hpp"
#include "stepped.hpp"
#include "tools/rolling.hpp"
#include "window_stats.hpp"

namespace vexal {

// What the rolling shape statistics share: the last `window` values of the
// first input, standardised with the window's mean and sample standard
// deviation, and a sum of a power of the standardised values. `Derived`
// supplies `min_window` with its `window_message`, `power_sums` (a window
// kernel) and `correct(sum, n)`, which turns the sum into the
// bias-corrected statistic.
template <class Derived>
class StandardizedMoment : public Stepped<Derived, 1, 1, 1> {
  using Base = Stepped<Derived, 1, 1, 1>;

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

 protected:
  using Base::Base;

 private:
  friend Base;

  // The window's mean, its sample standard deviation, then the sum of a
  // power of the standardised values. A constant window has no shape; a
  // NaN variance is not caught here: it flows on into a NaN result.
  template <class Window>
  void step(const typename Base::template Windows<Window>& windows, std::span<const ColumnIn>,
            std::span<const ColumnOut> out, std::size_t n) const {
    const Window& xs = windows[0];
    const std::size_t length = this->window();
    const auto mean = means_by_bar(xs, length, n);
    auto variance = square_deviations_by_bar(xs, length, n, mean);
    auto scale = per_bar<double>(xs);
    const auto divisor = static_cast<double>(length - 1);
    for (std::size_t t = 0; t < n; ++t) {
      variance[t] = variance[t] / divisor;
      scale[t] = std::sqrt(variance[t]);
    }
    const auto sums = by_bar(xs, length, n, [&](auto x, std::size_t count, std::size_t w, double* into) {
      Derived::power_sums(x, count, w, mean.data() + xs.first_full(), scale.data() + xs.first_full(), into);
    });
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(xs, t) && variance[t] != 0.0) {
        out[0].set(t, Derived::correct(sums[t], static_cast<double>(length)));
      } else {
        out[0].set_absent(t);
      }
    }
  }
};

}  // namespace vexal
