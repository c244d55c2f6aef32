#pragma once

#include <cstddef>
#include <expected>
#include <tuple>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Bollinger bands of the first input over the last `window` bars, with the
// population standard deviation σ (divisor n), as charting tools draw them.
// Produces [middle, upper, lower, percent_b, bandwidth]: middle = mean,
// upper/lower = middle ± k·σ, percent_b = (x − lower) / (upper − lower),
// bandwidth = (upper − lower) / middle. A flat window has no percent_b and a
// zero middle no bandwidth; the three bands are still given.
class BollingerBands final : public Windowed<BollingerBands, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "BollingerBands";

  [[nodiscard]] static std::expected<BollingerBands, VexalError> create(Names inputs, std::size_t window,
                                                                        Names outputs, double k = 2.0);

  [[nodiscard]] double k() const { return k_; }
  [[nodiscard]] std::tuple<double> options() const { return {k_}; }

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend class Windowed<BollingerBands, 1, 1>;
  // The five values from a window's mean and sum of squared deviations.
  [[nodiscard]] UpdateResult bands(double x, double middle, double m2, double size) const;
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

  BollingerBands(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers, double k)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)), k_(k) {}

  double k_;
};

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
