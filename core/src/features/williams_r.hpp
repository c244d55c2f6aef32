#pragma once

#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Williams %R over the last `window` bars, in [−100, 0] for a close inside
// the range: 100 · (close − HH) / (HH − LL), with the highest high HH and
// lowest low LL of the window. Reads high, low, close. A bar that is
// incomplete or has its high below its low spoils the windows holding it; a
// flat range (HH = LL) has no value.
class WilliamsR final : public Stepped<WilliamsR, 2, 3, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "WilliamsR";

  [[nodiscard]] static std::expected<WilliamsR, VexalError> create(Names inputs, std::size_t window,
                                                                   Names outputs);

 private:
  friend Stepped;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // %R from the close and the window's extremes; absent for a flat range.
  [[nodiscard]] static OptionalValue percent_r(double close, double highest_high, double lowest_low);
  // %R from the newest close and the window's highest high and lowest low.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn> in, std::span<const ColumnOut> out,
            std::size_t n) const {
    const auto highest_high = by_bar(windows[0], window(), n, highest_kernel);
    const auto lowest_low = by_bar(windows[1], window(), n, lowest_kernel);
    for (std::size_t t = 0; t < n; ++t) {
      if (in[2].valid[t] != 0 && complete_at(windows[0], t) && windows[1].complete(t)) {
        out[0].set(t, percent_r(in[2].values[t], highest_high[t], lowest_low[t]));
      } else {
        out[0].set_absent(t);
      }
    }
  }

  WilliamsR(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in williams_r.cpp, where the step's helpers inline.
extern template class WindowedState<WilliamsR, 2>;
extern template class Stepped<WilliamsR, 2, 3, 1>;

template <>
struct Describe<WilliamsR> : Described<WilliamsR> {
  static constexpr std::string_view summary =
      "Williams %R. inputs: [high, low, close]. 100 * (close - HH) / (HH - LL) over the highest "
      "high HH and lowest low LL of ``window`` bars, in [-100, 0].";
  static constexpr Option<WilliamsR> options[] = {inputs_option<WilliamsR>, window_option<WilliamsR>,
                                                  outputs_option<WilliamsR>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "WILLR: first";
  static constexpr std::string_view state = "size window, values highs, values lows";
  static constexpr std::string_view example = "WilliamsR([\"high\", \"low\", \"close\"], 14, [\"willr\"])";
};

}  // namespace vexal
