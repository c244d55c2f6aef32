#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
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

template <>
struct Describe<Vwap> : Described<Vwap> {
  static constexpr std::string_view summary =
      "Rolling volume-weighted average price. inputs: [high, low, close, volume]. sum(tp * "
      "volume) / sum(volume) over ``window`` bars, tp = (high + low + close) / 3.";
  static constexpr Option<Vwap> options[] = {inputs_option<Vwap>, window_option<Vwap>, outputs_option<Vwap>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volume";
  static constexpr std::string_view reads = "high, low, close, volume";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values price × volume, values volumes";
  static constexpr std::string_view example =
      "Vwap([\"high\", \"low\", \"close\", \"volume\"], 20, [\"vwap\"])";
};

}  // namespace vexal
