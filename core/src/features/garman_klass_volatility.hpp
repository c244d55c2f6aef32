#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Garman-Klass OHLC volatility over the last `window` bars, per bar in
// log-price units: sqrt(mean(½ ln(H/L)² − (2 ln 2 − 1) ln(C/O)²)). Reads
// open, high, low, close. A bar with a value absent or not > 0, or its high
// below its low, spoils the windows holding it; a negative mean (bars whose
// open or close lie far outside their range) has no value.
class GarmanKlassVolatility final : public Windowed<GarmanKlassVolatility, 1, 4> {
 public:
  static constexpr std::string_view snapshot_tag = "GarmanKlassVolatility";

  [[nodiscard]] static std::expected<GarmanKlassVolatility, VexalError> create(Names inputs,
                                                                               std::size_t window,
                                                                               Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend class Windowed<GarmanKlassVolatility, 1, 4>;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

  GarmanKlassVolatility(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

}  // namespace vexal
