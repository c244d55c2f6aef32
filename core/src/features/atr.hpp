#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "features/wilder_average.hpp"
#include "windowed.hpp"

namespace vexal {

// Wilder's average true range over `window` bars: the Wilder average of
// TrueRange, seeded with the simple average of the first `window` ranges.
// Reads high, low, close. A bar without a true range (a value absent, high
// below low, or no previous close) drops the average and seeding starts
// again.
class Atr final : public Windowed<Atr, 0> {
 public:
  static constexpr std::string_view snapshot_tag = "Atr";

  [[nodiscard]] static std::expected<Atr, VexalError> create(Names inputs, std::size_t window, Names outputs);

  // The first true range needs a previous close.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

  void clear_state();
  void save_state(SnapshotWriter& out) const;
  void load_state(SnapshotReader& in);

 private:
  Atr(Names inputs, std::size_t window, Names outputs, WilderAverage average)
      : Windowed(std::move(inputs), window, std::move(outputs), {}), average_(std::move(average)) {}

  OptionalValue previous_close_;
  WilderAverage average_;
};

}  // namespace vexal
