#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <expected>
#include <limits>
#include <string_view>

#include "descriptor.hpp"
#include "error.hpp"
#include "targets/forward_window.hpp"

namespace vexal {

// The worst fall of the close from a peak along the path from this bar's
// close through the next `horizon` closes: min over t <= i <= j <= t +
// horizon of close_j / max(close_t .. close_i) - 1. The path starts at this
// bar, so its close is the first peak and the label is at most 0.
class FutureDrawdown final : public ForwardWindow<FutureDrawdown, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "FutureDrawdown";

  [[nodiscard]] static std::expected<FutureDrawdown, VexalError> create(Names inputs, std::size_t horizon,
                                                                        Names outputs) {
    if (inputs.size() != 1) return invalid_input("inputs must contain exactly 1 name: [close]");
    if (horizon == 0) return invalid_input("horizon must be > 0");
    if (outputs.empty()) return invalid_input("outputs must not be empty");
    return FutureDrawdown(std::move(inputs), horizon, std::move(outputs));
  }

 private:
  friend ForwardWindow;
  using ForwardWindow::ForwardWindow;

  // A close that is absent, NaN or not > 0 at the start, or an absent close
  // on the path, gives no label; a present NaN on the path gives NaN. The
  // peak starts positive, so every ratio is defined.
  template <class Rows>
  [[nodiscard]] OptionalValue label(const std::array<Rows, 1>& rows, std::size_t now, std::size_t n) const {
    if (!reaches(now, n)) return std::nullopt;
    const Rows& close = rows[0];
    const OptionalValue start = close(now);
    if (!start || !(*start > 0.0)) return std::nullopt;
    double peak = *start;
    double worst = 0.0;  // close_t / close_t - 1
    bool nan = false;
    for (std::size_t k = 1; k <= horizon_; ++k) {
      const OptionalValue x = close(now + k);
      if (!x) return std::nullopt;
      nan = nan || std::isnan(*x);
      if (*x > peak) peak = *x;
      // The peaks up to j run from close_t to the running peak. A close at or
      // above 0 falls furthest from the highest of them, a negative one from
      // the lowest, close_t itself.
      const double fall = (*x < 0.0 ? *x / *start : *x / peak) - 1.0;
      if (fall < worst) worst = fall;
    }
    if (nan) return std::numeric_limits<double>::quiet_NaN();
    return worst;
  }
};

template <>
struct Describe<FutureDrawdown> : Described<FutureDrawdown> {
  static constexpr std::string_view summary =
      "Future maximum drawdown of the close: min over t <= i <= j <= t + ``horizon`` of close_j / "
      "max(close_t .. close_i) - 1, the worst fall from a peak along the path that starts at this bar's "
      "close. The starting bar is included: close_t is the first peak, so the label is <= 0, and 0 where "
      "the path never falls below a peak; for positive closes it is the fall of close_j from the running "
      "peak max(close_t .. close_j). NaN where close_t is NaN or <= 0, where a close on the path is NaN, "
      "and on the last ``horizon`` bars.";
  static constexpr Option<FutureDrawdown> options[] = {
      inputs_option<FutureDrawdown>, horizon_option<FutureDrawdown>, outputs_option<FutureDrawdown>};
  static constexpr std::string_view family = "targets";
  static constexpr std::string_view reads = "close";
  static constexpr std::string_view state = "names inputs, size horizon, names outputs";
  static constexpr MissingPolicy missing = MissingPolicy::EndsWalk;
  static constexpr std::string_view example = "FutureDrawdown([\"close\"], 10, [\"fwd_drawdown\"])";
};

}  // namespace vexal
