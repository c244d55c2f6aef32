#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Williams %R over the last `window` bars, in [−100, 0] for a close inside
// the range: 100 · (close − HH) / (HH − LL), with the highest high HH and
// lowest low LL of the window. Reads high, low, close. A bar that is
// incomplete or has its high below its low spoils the windows holding it; a
// flat range (HH = LL) has no value.
class WilliamsR final : public Windowed<WilliamsR, 2, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "WilliamsR";

  [[nodiscard]] static std::expected<WilliamsR, VexalError> create(Names inputs, std::size_t window,
                                                                   Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend class Windowed<WilliamsR, 2, 3>;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // %R from the close and the window's extremes; absent for a flat range.
  [[nodiscard]] static OptionalValue percent_r(double close, double highest_high, double lowest_low);
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

  WilliamsR(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

}  // namespace vexal
