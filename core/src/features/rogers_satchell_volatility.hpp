#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Rogers-Satchell's drift-independent OHLC volatility over the last `window`
// bars, per bar in log-price units. Reads high, low, open, close.
class RogersSatchellVolatility final : public Windowed<RogersSatchellVolatility, 1, 4> {
 public:
  [[nodiscard]] static std::expected<RogersSatchellVolatility, VexalError> create(Names inputs,
                                                                                  std::size_t window,
                                                                                  Names outputs);

  static constexpr std::string_view snapshot_tag = "RogersSatchellVolatility";
  static constexpr std::array<std::string_view, 1> buffer_labels{"terms"};

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend Windowed;

  using Windowed::Windowed;

  // Each bar's variance term, absent for an invalid bar.
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // The volatility of the terms as they stand.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values) const;
};

}  // namespace vexal
