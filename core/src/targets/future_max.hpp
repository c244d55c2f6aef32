#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "targets/forward_window.hpp"

namespace vexal {

// The highest high of the next `horizon` bars over this bar's close, less 1.
// Inputs: high, close.
class FutureMax final : public ForwardWindow<FutureMax, 2> {
 public:
  static constexpr std::string_view snapshot_tag = "FutureMax";

  [[nodiscard]] static std::expected<FutureMax, VexalError> create(Names inputs, std::size_t horizon,
                                                                   Names outputs) {
    if (inputs.size() != 2) return invalid_input("inputs must contain exactly 2 names: [high, close]");
    if (horizon == 0) return invalid_input("horizon must be > 0");
    if (outputs.empty()) return invalid_input("outputs must not be empty");
    return FutureMax(std::move(inputs), horizon, std::move(outputs));
  }

 private:
  friend ForwardWindow;
  using ForwardWindow::ForwardWindow;

  template <class Rows>
  [[nodiscard]] OptionalValue label(const std::array<Rows, 2>& rows, std::size_t now, std::size_t n) const {
    if (!reaches(now, n)) return std::nullopt;
    return extreme_over_close<true>(rows[0], rows[1], now, horizon_);
  }
};

template <>
struct Describe<FutureMax> : Described<FutureMax> {
  static constexpr std::string_view summary =
      "Future highest high relative to the close: max(high over bars t + 1 .. t + ``horizon``) / close_t - "
      "1. "
      "inputs: [high, close]. NaN where close_t is NaN or <= 0, where a high in the window is NaN, and on "
      "the "
      "last ``horizon`` bars.";
  static constexpr Option<FutureMax> options[] = {inputs_option<FutureMax>, horizon_option<FutureMax>,
                                                  outputs_option<FutureMax>};
  static constexpr std::string_view family = "targets";
  static constexpr std::string_view reads = "high, close";
  static constexpr std::string_view state = "names inputs, size horizon, names outputs";
  static constexpr MissingPolicy missing = MissingPolicy::EndsWalk;
  static constexpr std::string_view example = "FutureMax([\"high\", \"close\"], 10, [\"fwd_max\"])";
};

}  // namespace vexal
