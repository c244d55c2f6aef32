#pragma once

#include <cstddef>
#include <expected>

#include "columns/window_by_bar.hpp"
#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Largest value of the first input over the last `window` bars; absent
// while the window holds an absent value, NaN when it holds a NaN.
class RollingMax final : public Stepped<RollingMax, 1, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingMax";

  [[nodiscard]] static std::expected<RollingMax, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs);

 private:
  friend Stepped;
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    write_by_bar(windows[0], window(), n, highest_kernel, out);
  }

  RollingMax(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers)
      : Stepped(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

// Its driver is compiled once, in rolling_max.cpp, where the step's helpers inline.
extern template class WindowedState<RollingMax, 1>;
extern template class Stepped<RollingMax, 1, 1, 1>;

template <>
struct Describe<RollingMax> : Described<RollingMax> {
  static constexpr std::string_view summary = "Largest value of inputs[0] over ``window`` bars.";
  static constexpr std::string_view formula =
      "max(x[t - window + 1], ..., x[t]); NaN when the window holds a NaN.";
  static constexpr Option<RollingMax> options[] = {inputs_option<RollingMax>, window_option<RollingMax>,
                                                   outputs_option<RollingMax>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view talib = "MAX: first";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingMax([\"high\"], 20, [\"high_20\"])";
};

}  // namespace vexal
