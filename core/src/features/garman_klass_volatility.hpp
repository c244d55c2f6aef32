#pragma once

#include <cmath>
#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Garman-Klass OHLC volatility over the last `window` bars, per bar in
// log-price units: sqrt(mean(½ ln(H/L)² − (2 ln 2 − 1) ln(C/O)²)). Reads
// open, high, low, close. A bar with a value absent or not > 0, or its high
// below its low, spoils the windows holding it; a negative mean (bars whose
// open or close lie far outside their range) has no value.
class GarmanKlassVolatility final : public Stepped<GarmanKlassVolatility, 1, 4, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "GarmanKlassVolatility";

  [[nodiscard]] static std::expected<GarmanKlassVolatility, VexalError> create(Names inputs,
                                                                               std::size_t window,
                                                                               Names outputs);

 private:
  friend Stepped;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // sqrt of the terms' mean.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    write_root_of_means(windows[0], window(), n, out[0]);
  }

  GarmanKlassVolatility(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in garman_klass_volatility.cpp, where the step's helpers inline.
extern template class WindowedState<GarmanKlassVolatility, 1>;
extern template class Stepped<GarmanKlassVolatility, 1, 4, 1>;

template <>
struct Describe<GarmanKlassVolatility> : Described<GarmanKlassVolatility> {
  static constexpr std::string_view summary =
      "Garman-Klass volatility. inputs: [open, high, low, close]. sqrt(mean(0.5 * ln(high / "
      "low)^2 - (2 ln 2 - 1) * ln(close / open)^2)) over ``window`` bars.";
  static constexpr Option<GarmanKlassVolatility> options[] = {inputs_option<GarmanKlassVolatility>,
                                                              window_option<GarmanKlassVolatility>,
                                                              outputs_option<GarmanKlassVolatility>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volatility";
  static constexpr std::string_view reads = "open, high, low, close";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values per-bar terms";
  static constexpr std::string_view example =
      "GarmanKlassVolatility([\"open\", \"high\", \"low\", \"close\"], 20, [\"gk\"])";
};

}  // namespace vexal
