#pragma once

#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Smallest value of the first input over the last `window` bars; absent
// while the window holds an absent value, NaN when it holds a NaN.
class RollingMin final : public Stepped<RollingMin, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingMin";

  [[nodiscard]] static std::expected<RollingMin, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs);

 private:
  friend Stepped;
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    write_by_bar(windows[0], window(), n, lowest_kernel, out);
  }

  RollingMin(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in rolling_min.cpp, where the step's helpers inline.
extern template class WindowedState<RollingMin, 1>;
extern template class Stepped<RollingMin, 1, 1, 1>;

template <>
struct Describe<RollingMin> : Described<RollingMin> {
  static constexpr std::string_view summary = "Smallest value of inputs[0] over ``window`` bars.";
  static constexpr std::string_view formula =
      "min(x[t - window + 1], ..., x[t]); NaN when the window holds a NaN.";
  static constexpr Option<RollingMin> options[] = {inputs_option<RollingMin>, window_option<RollingMin>,
                                                   outputs_option<RollingMin>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "MIN: first";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingMin([\"low\"], 20, [\"low_20\"])";
};

}  // namespace vexal
