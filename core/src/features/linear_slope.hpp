#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Ordinary least squares of y (second input) on x (first input) over the last
// `window` pairs: the slope and R², in the order of the two output names.
class LinearSlope final : public Windowed<LinearSlope, 2, 2> {
 public:
  [[nodiscard]] static std::expected<LinearSlope, VexalError> create(Names inputs, std::size_t window,
                                                                     Names outputs);

  static constexpr std::string_view snapshot_tag = "LinearSlope";
  // x in the first buffer, y in the second.
  static constexpr std::array<std::string_view, 2> buffer_labels{"x values", "y values"};
  [[nodiscard]] static std::string uneven_windows(const BufferSet<2>& buffers);

  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

 private:
  friend Windowed;

  using Windowed::Windowed;

  // The slope and R² of the windows as they stand.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);
};

template <>
struct Describe<LinearSlope> : Described<LinearSlope> {
  static constexpr std::string_view summary =
      "Rolling OLS regression: slope and R² of y on x over a sliding window.";
  static constexpr Option<LinearSlope> options[] = {inputs_option<LinearSlope>, window_option<LinearSlope>,
                                                    outputs_option<LinearSlope>};
  static constexpr std::string_view update_doc =
      "Process one bar. Returns ``[slope, r2]``, ``NaN`` during warm-up.";
  static constexpr std::string_view family = "statistics";
  static constexpr std::string_view reads = "x, y";
  static constexpr std::string_view writes = "slope, r2";
  static constexpr std::string_view options_note = "window";
  static constexpr std::string_view warm_up = "w − 1";
  static constexpr std::string_view state = "size window, values x, values y (as many as x)";
  static constexpr std::string_view example = "LinearSlope([\"open\", \"close\"], 20, [\"slope\", \"r2\"])";
};

}  // namespace vexal
