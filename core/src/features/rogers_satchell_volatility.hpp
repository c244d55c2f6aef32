#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <string_view>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Rogers-Satchell's drift-independent OHLC volatility over the last `window`
// bars, per bar in log-price units. Reads high, low, open, close.
class RogersSatchellVolatility final : public Stepped<RogersSatchellVolatility, 1, 4, 1> {
 public:
  [[nodiscard]] static std::expected<RogersSatchellVolatility, VexalError> create(Names inputs,
                                                                                  std::size_t window,
                                                                                  Names outputs);

  static constexpr std::string_view snapshot_tag = "RogersSatchellVolatility";
  static constexpr std::array<std::string_view, 1> buffer_labels{"terms"};

 private:
  friend Stepped;

  using Stepped::Stepped;

  // Each bar's variance term, absent for an invalid bar.
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // sqrt of the terms' mean.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    write_root_of_means(windows[0], window(), n, out[0]);
  }
};

// Its driver is compiled once, in rogers_satchell_volatility.cpp, where the step's helpers inline.
extern template class WindowedState<RogersSatchellVolatility, 1>;
extern template class Stepped<RogersSatchellVolatility, 1, 4, 1>;

template <>
struct Describe<RogersSatchellVolatility> : Described<RogersSatchellVolatility> {
  static constexpr std::string_view summary = "Rolling Rogers-Satchell volatility estimator (OHLC).";
  static constexpr std::string_view formula =
      "sqrt(mean(ln(high / open) * ln(high / close) + ln(low / open) * ln(low / close))) over "
      "the last ``window`` bars, per bar in log-price units; absent where the mean is below "
      "zero.";
  static constexpr Option<RogersSatchellVolatility> options[] = {inputs_option<RogersSatchellVolatility>,
                                                                 window_option<RogersSatchellVolatility>,
                                                                 outputs_option<RogersSatchellVolatility>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volatility";
  static constexpr std::string_view reads = "high, low, open, close";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values per-bar terms";
  static constexpr std::string_view example =
      "RogersSatchellVolatility([\"high\", \"low\", \"open\", \"close\"], 20, [\"rs\"])";
};

}  // namespace vexal
