#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <numbers>
#include <string_view>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Parkinson's high-low volatility over the last `window` bars, per bar in
// log-price units: sqrt(mean(ln(H/L)²) / (4 ln 2)). Reads high, then low.
class ParkinsonVolatility final : public Stepped<ParkinsonVolatility, 1, 2, 1> {
 public:
  [[nodiscard]] static std::expected<ParkinsonVolatility, VexalError> create(Names inputs, std::size_t window,
                                                                             Names outputs);

  static constexpr std::string_view snapshot_tag = "ParkinsonVolatility";
  static constexpr std::array<std::string_view, 1> buffer_labels{"terms"};

 private:
  friend Stepped;

  using Stepped::Stepped;

  // Each bar's ln(H/L)², absent for an invalid bar.
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // sqrt(mean / (4 ln 2)), 4 ln 2 the nearest double (ln 2 rounded, times
  // an exact 4).
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    constexpr double four_ln2 = 4.0 * std::numbers::ln2;
    const auto means = means_by_bar(windows[0], window(), n);
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) { return std::sqrt(means[t] / four_ln2); });
  }
};

// Its driver is compiled once, in parkinson_volatility.cpp, where the step's helpers inline.
extern template class WindowedState<ParkinsonVolatility, 1>;
extern template class Stepped<ParkinsonVolatility, 1, 2, 1>;

template <>
struct Describe<ParkinsonVolatility> : Described<ParkinsonVolatility> {
  static constexpr std::string_view summary = "Rolling Parkinson volatility estimator (high/low).";
  static constexpr std::string_view formula =
      "sqrt(mean(ln(high / low)^2) / (4 ln 2)) over the last ``window`` bars, per bar in "
      "log-price units.";
  static constexpr Option<ParkinsonVolatility> options[] = {inputs_option<ParkinsonVolatility>,
                                                            window_option<ParkinsonVolatility>,
                                                            outputs_option<ParkinsonVolatility>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volatility";
  static constexpr std::string_view reads = "high, low";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values per-bar terms";
  static constexpr std::string_view example = "ParkinsonVolatility([\"high\", \"low\"], 20, [\"parkinson\"])";
};

}  // namespace vexal
