#pragma once

#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Rolling volume-weighted average price over the last `window` bars:
// Σ tp · v / Σ v, with the typical price tp = (high + low + close) / 3.
// Reads high, low, close, volume. A bar that is incomplete, has its high
// below its low or a negative volume spoils the windows holding it; a
// window without volume has no value.
class Vwap final : public Stepped<Vwap, 2, 4, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "Vwap";

  [[nodiscard]] static std::expected<Vwap, VexalError> create(Names inputs, std::size_t window,
                                                              Names outputs);

 private:
  friend Stepped;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    write_ratio_of_sums(windows[0], windows[1], window(), n, out[0]);
  }

  Vwap(Names inputs, std::size_t window, Names outputs, BufferSet<2> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in vwap.cpp.
extern template class WindowedState<Vwap, 2>;
extern template class Stepped<Vwap, 2, 4, 1>;

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
