#pragma once

#include <cstddef>
#include <expected>
#include <tuple>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Bollinger bands of the first input over the last `window` bars, with the
// population standard deviation σ (divisor n), as charting tools draw them.
// Produces [middle, upper, lower, percent_b, bandwidth]: middle = mean,
// upper/lower = middle ± k·σ, percent_b = (x − lower) / (upper − lower),
// bandwidth = (upper − lower) / middle. A flat window has no percent_b and a
// zero middle no bandwidth; the three bands are still given.
class BollingerBands final : public Stepped<BollingerBands, 1, 1, 5> {
 public:
  static constexpr std::string_view snapshot_tag = "BollingerBands";

  [[nodiscard]] static std::expected<BollingerBands, VexalError> create(Names inputs, std::size_t window,
                                                                        Names outputs, double k = 2.0);

  [[nodiscard]] double k() const { return k_; }
  [[nodiscard]] std::tuple<double> options() const { return {k_}; }

 private:
  friend Stepped;

  // The window's mean, then its squared deviations from it.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn> in, std::span<const ColumnOut> out,
            std::size_t n) const {
    const std::size_t w = window();
    const auto middle = means_by_bar(windows[0], w, n);
    const auto m2 = square_deviations_by_bar(windows[0], w, n, middle);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(windows[0], t)) {
        bands(out, t, in[0].values[t], middle[t], m2[t], static_cast<double>(w));
      } else {
        for (const ColumnOut& o : out) o.set_absent(t);
      }
    }
  }

  // Bar t's five values from its window's mean and sum of squared
  // deviations.
  void bands(std::span<const ColumnOut> out, std::size_t t, double x, double middle, double m2,
             double size) const;

  BollingerBands(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers, double k)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)), k_(k) {}

  double k_;
};

// Its driver is compiled once, in bollinger_bands.cpp, where the step's helpers inline.
extern template class WindowedState<BollingerBands, 1>;
extern template class Stepped<BollingerBands, 1, 1, 5>;

template <>
struct Describe<BollingerBands> : Described<BollingerBands> {
  static constexpr std::string_view summary =
      "Bollinger bands of inputs[0] over ``window`` bars. outputs: [middle, upper, lower, "
      "percent_b, bandwidth]. middle = mean, upper/lower = middle +/- k * population standard "
      "deviation, percent_b = (x - lower) / (upper - lower), bandwidth = (upper - lower) / "
      "middle; a flat window has no percent_b, a zero middle no bandwidth.";
  static constexpr Option<BollingerBands> options[] = {
      inputs_option<BollingerBands>,
      window_option<BollingerBands>,
      outputs_option<BollingerBands>,
      {"k", OptionType::Number, {}, 2.0, [](const BollingerBands& t) -> OptionValue { return t.k(); }}};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[middle, upper, lower, percent_b, bandwidth]``, ``NaN`` "
      "during warm-up.";
  static constexpr std::string_view family = "bands";
  static constexpr std::string_view reads = "close";
  static constexpr std::string_view writes = "middle, upper, lower, percent_b, bandwidth";
  static constexpr std::string_view options_note = "window, k=2.0";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "BBANDS: first";
  static constexpr std::string_view state = "size window, f64 k, values window";
  static constexpr std::string_view example =
      "BollingerBands([\"close\"], 20, [\"middle\", \"upper\", \"lower\", \"percent_b\", \"bandwidth\"])";
};

}  // namespace vexal
