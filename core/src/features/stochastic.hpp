#pragma once

#include <cstddef>
#include <expected>
#include <tuple>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "features/true_range.hpp"
#include "stepped.hpp"
#include "window_extremes.hpp"

namespace vexal {

// The slow stochastic oscillator. Reads high, low, close; produces [k, d].
// The raw %K = 100 · (close − LL) / (HH − LL) over the highest high HH and
// lowest low LL of the last `window` bars; k is the simple average of the
// raw %K over `smooth_k` bars and d that of k over `smooth_d` bars. A bar
// that is incomplete or has its high below its low spoils the windows
// holding it; a flat range (HH = LL) has no raw %K.
class Stochastic final : public Stepped<Stochastic, 4, 3, 2, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "Stochastic";

  [[nodiscard]] static std::expected<Stochastic, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs, std::size_t smooth_k = 3,
                                                                    std::size_t smooth_d = 3);

  [[nodiscard]] std::size_t smooth_k() const { return smooth_k_; }
  [[nodiscard]] std::size_t smooth_d() const { return smooth_d_; }
  [[nodiscard]] std::tuple<std::size_t, std::size_t> options() const { return {smooth_k_, smooth_d_}; }

  // Bars before d, the last of the two to arrive.
  [[nodiscard]] std::size_t warm_up_period() const override { return window() + smooth_k_ + smooth_d_ - 3; }

 private:
  friend Stepped;

  // A bar's high and low, both absent for an incomplete or inverted range.
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const {
    if (!TrueRange::valid_range(values[0], values[1])) return {std::nullopt, std::nullopt};
    return {values[0], values[1]};
  }

  // The raw %K from the window extremes, then its two averages, each a
  // windowed mean over the line before it (the raw %K and k buffers are
  // stages).
  template <class Window, class Stages>
  void step(const Windows<Window>& windows, Stages& stages, std::span<const ColumnIn> in,
            std::span<const ColumnOut> out, std::size_t n) const {
    const auto highest_high = by_bar(windows[0], window(), n, highest_kernel);
    const auto lowest_low = by_bar(windows[1], window(), n, lowest_kernel);
    auto raw = per_bar<OptionalValue>(windows[0]);
    for (std::size_t t = 0; t < n; ++t) {
      if (in[2].valid[t] != 0 && complete_at(windows[0], t) && windows[1].complete(t))
        raw[t] = raw_k_of(in[2].values[t], highest_high[t], lowest_low[t]);
    }
    const auto& raws = stages.stage(2, raw);
    const auto k_mean = means_by_bar(raws, smooth_k_, n);
    auto k = per_bar<OptionalValue>(windows[0]);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(raws, t)) k[t] = k_mean[t];
    }
    const auto& ks = stages.stage(3, k);
    const auto d_mean = means_by_bar(ks, smooth_d_, n);
    for (std::size_t t = 0; t < n; ++t) {
      out[0].set(t, k[t]);
      if (complete_at(ks, t)) {
        out[1].set(t, d_mean[t]);
      } else {
        out[1].set_absent(t);
      }
    }
  }

  [[nodiscard]] static OptionalValue raw_k_of(double close, double highest_high, double lowest_low);

  Stochastic(Names inputs, std::size_t window, Names outputs, BufferSet<4> buffers, std::size_t smooth_k,
             std::size_t smooth_d)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)),
        smooth_k_(smooth_k),
        smooth_d_(smooth_d) {}

  // Buffers: highs and lows (`window`), raw %K (`smooth_k`), k (`smooth_d`).
  std::size_t smooth_k_;
  std::size_t smooth_d_;
};

// Its driver is compiled once, in stochastic.cpp.
extern template class WindowedState<Stochastic, 4>;
extern template class Stepped<Stochastic, 4, 3, 2, 2>;

template <>
struct Describe<Stochastic> : Described<Stochastic> {
  static constexpr std::string_view summary =
      "The slow stochastic oscillator. inputs: [high, low, close]; outputs: [k, d]. raw %K = "
      "100 * (close - LL) / (HH - LL) over the highest high HH and lowest low LL of ``window`` "
      "bars; k = mean of raw %K over ``smooth_k`` bars, d = mean of k over ``smooth_d`` bars.";
  static constexpr Option<Stochastic> options[] = {
      inputs_option<Stochastic>,
      window_option<Stochastic>,
      outputs_option<Stochastic>,
      {"smooth_k", OptionType::Count, 3, {}, [](const Stochastic& t) -> OptionValue { return t.smooth_k(); }},
      {"smooth_d", OptionType::Count, 3, {}, [](const Stochastic& t) -> OptionValue {
         return t.smooth_d();
       }}};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[k, d]``, ``NaN`` during warm-up or on invalid input.";
  static constexpr std::string_view family = "oscillators";
  static constexpr std::string_view reads = "high, low, close";
  static constexpr std::string_view writes = "k, d";
  static constexpr std::string_view options_note = "window, smooth_k=3, smooth_d=3";
  static constexpr std::string_view warm_up = "w + smooth_k + smooth_d − 3";
  static constexpr std::string_view talib = "STOCH: first";
  static constexpr std::string_view state =
      "size window, size smooth_k, size smooth_d, values highs, values lows (window each), "
      "values raw %K (smooth_k), values %K (smooth_d)";
  static constexpr std::string_view example =
      "Stochastic([\"high\", \"low\", \"close\"], 14, [\"k\", \"d\"])";
};

}  // namespace vexal
