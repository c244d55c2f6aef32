#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Sample standard deviation (divisor n − 1) of the first input over the last
// `window` bars, computed in two passes over the window: the mean, then the
// squared deviations from it.
class RollingStd final : public Windowed<RollingStd, 1, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "RollingStd";

  [[nodiscard]] static std::expected<RollingStd, VexalError> create(Names inputs, std::size_t window,
                                                                    Names outputs);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend class Windowed<RollingStd, 1, 1>;
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

  RollingStd(Names inputs, std::size_t window, Names outputs, BufferSet<1> buffers)
      : Windowed(std::move(inputs), window, std::move(outputs), std::move(buffers)) {}
};

template <>
struct Describe<RollingStd> : Described<RollingStd> {
  static constexpr std::string_view summary =
      "Sample standard deviation (ddof=1) of inputs[0] over ``window`` bars: sqrt(sum((x - "
      "mean)^2) / (window - 1)).";
  static constexpr Option<RollingStd> options[] = {inputs_option<RollingStd>, window_option<RollingStd>,
                                                   outputs_option<RollingStd>};
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view options_note = "window (≥ 2, ddof=1)";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values window";
  static constexpr std::string_view example = "RollingStd([\"close\"], 20, [\"std\"])";
};

}  // namespace vexal
