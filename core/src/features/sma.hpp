#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Simple moving average of the first input over the last `window` bars.
class Sma final : public Stepped<Sma, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Sma";

  [[nodiscard]] static std::expected<Sma, VexalError> create(Names inputs, std::size_t window, Names outputs);

 private:
  friend Stepped;
  using Stepped::Stepped;

  // The window's sum, oldest to newest from 0.0, over its length.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const auto means = means_by_bar(windows[0], window(), n);
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) { return means[t]; });
  }
};

// Its driver is compiled once, in sma.cpp, where the step's helpers inline.
extern template class WindowedState<Sma, 1>;
extern template class Stepped<Sma, 1, 1, 1>;

template <>
struct Describe<Sma> : Described<Sma> {
  static constexpr std::string_view summary = "Simple Moving Average over a rolling window.";
  static constexpr std::string_view formula =
      "sma[t] = (x[t - window + 1] + ... + x[t]) / window, the last ``window`` values of "
      "inputs[0] summed in order.";
  static constexpr Option<Sma> options[] = {inputs_option<Sma>, window_option<Sma>, outputs_option<Sma>};
  static constexpr std::string_view family = "averages";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "SMA: first";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "Sma([\"close\"], 20, [\"sma\"])";
};

}  // namespace vexal
