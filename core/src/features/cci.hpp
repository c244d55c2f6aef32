#pragma once

#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Lambert's commodity channel index over the last `window` bars: (tp − m) /
// (0.015 · d), where tp = (high + low + close) / 3 is the bar's typical
// price, m the mean of the window's typical prices and d their mean absolute
// deviation from m, recomputed per window. Reads high, low, close. A bar that
// is incomplete or has its high below its low spoils the windows holding
// it; a window with d = 0 has no value.
class Cci final : public Stepped<Cci, 1, 3, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Cci";

  [[nodiscard]] static std::expected<Cci, VexalError> create(Names inputs, std::size_t window, Names outputs);

 private:
  friend Stepped;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // The index from a window's newest entry, mean and absolute deviations.
  [[nodiscard]] static OptionalValue index(double newest, double mean, double deviations, double size);
  // The typical prices' mean, their absolute deviations from it, and the
  // newest of them.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const std::size_t w = window();
    const auto mean = means_by_bar(windows[0], w, n);
    const auto deviations = abs_deviations_by_bar(windows[0], w, n, mean);
    set_where_complete(windows[0], n, out[0], [&](std::size_t t) {
      return index(windows[0].value(t), mean[t], deviations[t], static_cast<double>(w));
    });
  }

  Cci(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in cci.cpp, where the step's helpers inline.
extern template class WindowedState<Cci, 1>;
extern template class Stepped<Cci, 1, 3, 1>;

template <>
struct Describe<Cci> : Described<Cci> {
  static constexpr std::string_view summary =
      "Commodity channel index. inputs: [high, low, close]. (tp - m) / (0.015 * d), with tp = "
      "(high + low + close) / 3, m the mean of tp over ``window`` bars and d the mean absolute "
      "deviation of tp from m.";
  static constexpr Option<Cci> options[] = {inputs_option<Cci>, window_option<Cci>, outputs_option<Cci>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "CCI: first";
  static constexpr std::string_view state = "size window, values typical prices";
  static constexpr std::string_view example = "Cci([\"high\", \"low\", \"close\"], 20, [\"cci\"])";
};

}  // namespace vexal
