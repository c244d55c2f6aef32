#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Simple moving average of the first input over the last `window` bars.
class Sma final : public Windowed<Sma, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Sma";

  [[nodiscard]] static std::expected<Sma, VexalError> create(Names inputs, std::size_t window, Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend Windowed;

  using Windowed::Windowed;

  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values) const;
};

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
