#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "stepped.hpp"

namespace vexal {

// Yang-Zhang OHLC volatility over the last `window` bars, per bar in
// log-price units: sqrt(σo² + k·σc² + (1 − k)·σrs²), where σo² and σc² are
// the sample variances (divisor n − 1) of the overnight returns ln(O/C₋₁)
// and the open-to-close returns ln(C/O), σrs² the mean Rogers-Satchell term
// and k = 0.34 / (1.34 + (n + 1) / (n − 1)). Reads open, high, low, close;
// needs the previous bar's close. A bar with a value absent or not > 0, or
// its high below its low, spoils the windows holding it; a close that is
// absent or not > 0 also spoils the next bar's overnight return.
class YangZhangVolatility final : public Stepped<YangZhangVolatility, 3, 4, 1> {
 public:
  static constexpr std::string_view snapshot_tag = "YangZhangVolatility";

  [[nodiscard]] static std::expected<YangZhangVolatility, VexalError> create(Names inputs, std::size_t window,
                                                                             Names outputs);

  // The first overnight return needs a previous close.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }

  void clear_state() { previous_close_.reset(); }
  void save_state(SnapshotWriter& out) const { out.value(previous_close_); }
  void load_state(SnapshotReader& in);

 private:
  friend Stepped;
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // The close the next bar's overnight return starts from.
  void advance(std::span<const OptionalValue> values);
  // The volatility from the two sample variances and the mean term.
  [[nodiscard]] OptionalValue combined(double overnight_var, double open_close_var, double rs_mean) const;
  // The two windows' sample variances and the third's mean.
  template <class Window>
  void step(const Windows<Window>& windows, std::span<const ColumnIn>, std::span<const ColumnOut> out,
            std::size_t n) const {
    const std::size_t w = window();
    const auto overnight_mean = means_by_bar(windows[0], w, n);
    const auto open_close_mean = means_by_bar(windows[1], w, n);
    const auto overnight_m2 = square_deviations_by_bar(windows[0], w, n, overnight_mean);
    const auto open_close_m2 = square_deviations_by_bar(windows[1], w, n, open_close_mean);
    const auto rs_mean = means_by_bar(windows[2], w, n);
    const auto divisor = static_cast<double>(w - 1);
    for (std::size_t t = 0; t < n; ++t) {
      if (complete_at(windows[0], t) && windows[1].complete(t) && windows[2].complete(t)) {
        out[0].set(t, combined(overnight_m2[t] / divisor, open_close_m2[t] / divisor, rs_mean[t]));
      } else {
        out[0].set_absent(t);
      }
    }
  }

  YangZhangVolatility(Names inputs, std::size_t window, Names outputs, BufferSet<3> buffers);

  // Buffers: overnight returns, open-to-close returns, Rogers-Satchell terms.
  OptionalValue previous_close_;  // absent unless > 0
  double k_;
};

template <>
struct Describe<YangZhangVolatility> : Described<YangZhangVolatility> {
  static constexpr std::string_view summary =
      "Yang-Zhang volatility. inputs: [open, high, low, close]. sqrt(so + k * sc + (1 - k) * "
      "rs) over ``window`` bars: so and sc the sample variances of ln(open / previous close) "
      "and ln(close / open), rs the mean Rogers-Satchell term, k = 0.34 / (1.34 + (n + 1) / (n "
      "- 1)).";
  static constexpr Option<YangZhangVolatility> options[] = {inputs_option<YangZhangVolatility>,
                                                            window_option<YangZhangVolatility>,
                                                            outputs_option<YangZhangVolatility>};
  static constexpr std::string_view update_doc = kInvalidInputUpdateText;
  static constexpr std::string_view family = "volatility";
  static constexpr std::string_view reads = "open, high, low, close";
  static constexpr std::string_view options_note = "window (≥ 2)";
  static constexpr std::string_view warm_up = "w";
  static constexpr std::string_view state =
      "size window, values overnight returns, values open-to-close returns, values "
      "Rogers-Satchell terms, value previous close";
  static constexpr std::string_view example =
      "YangZhangVolatility([\"open\", \"high\", \"low\", \"close\"], 20, [\"yz\"])";
};

}  // namespace vexal
