#pragma once

#include <cstddef>
#include <expected>

#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Rolling volume-weighted average price over the last `window` bars:
// Σ tp · v / Σ v, with the typical price tp = (high + low + close) / 3.
// Reads high, low, close, volume. A bar that is incomplete, has its high
// below its low or a negative volume spoils the windows holding it; a
// window without volume has no value.
class Vwap final : public Windowed<Vwap, 2, 4> {
 public:
  static constexpr std::string_view snapshot_tag = "Vwap";

  [[nodiscard]] static std::expected<Vwap, VexalError> create(Names inputs, std::size_t window,
                                                              Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend class Windowed<Vwap, 2, 4>;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

  Vwap(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

}  // namespace vexal
