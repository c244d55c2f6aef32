#pragma once

#include <cstddef>
#include <expected>
#include <tuple>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// The slow stochastic oscillator. Reads high, low, close; produces [k, d].
// The raw %K = 100 · (close − LL) / (HH − LL) over the highest high HH and
// lowest low LL of the last `window` bars; k is the simple average of the
// raw %K over `smooth_k` bars and d that of k over `smooth_d` bars. A bar
// that is incomplete or has its high below its low spoils the windows
// holding it; a flat range (HH = LL) has no raw %K.
class Stochastic final : public Windowed<Stochastic, 4> {
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
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  // The raw %K once the bar's high and low are in their windows.
  [[nodiscard]] OptionalValue raw_k(const OptionalValue& close);
  [[nodiscard]] static OptionalValue raw_k_of(double close, double highest_high, double lowest_low);

  Stochastic(Names inputs, std::size_t window, Names outputs, BufferSet<4> buffers, std::size_t smooth_k,
             std::size_t smooth_d)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)),
        smooth_k_(smooth_k),
        smooth_d_(smooth_d) {}

  // Buffers: highs and lows (`window`), raw %K (`smooth_k`), k (`smooth_d`).
  std::size_t smooth_k_;
  std::size_t smooth_d_;
};

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
