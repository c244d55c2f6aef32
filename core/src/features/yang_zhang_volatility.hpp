#pragma once

#include <cstddef>
#include <expected>

#include "descriptor.hpp"
#include "error.hpp"
#include "windowed.hpp"

namespace vexal {

// Yang-Zhang OHLC volatility over the last `window` bars, per bar in
// log-price units: sqrt(σo² + k·σc² + (1 − k)·σrs²), where σo² and σc² are
// the sample variances (divisor n − 1) of the overnight returns ln(O/C₋₁)
// and the open-to-close returns ln(C/O), σrs² the mean Rogers-Satchell term
// and k = 0.34 / (1.34 + (n + 1) / (n − 1)). Reads open, high, low, close;
// needs the previous bar's close. A bar with a value absent or not > 0, or
// its high below its low, spoils the windows holding it; a close that is
// absent or not > 0 also spoils the next bar's overnight return.
class YangZhangVolatility final : public Windowed<YangZhangVolatility, 3> {
 public:
  static constexpr std::string_view snapshot_tag = "YangZhangVolatility";

  [[nodiscard]] static std::expected<YangZhangVolatility, VexalError> create(Names inputs, std::size_t window,
                                                                             Names outputs);

  // The first overnight return needs a previous close.
  [[nodiscard]] std::size_t warm_up_period() const override { return window(); }
  UpdateResult update(std::span<const OptionalValue> values) override;
  UpdateResult peek(std::span<const OptionalValue> values) override;
  void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) override;

  void clear_state() { previous_close_.reset(); }
  void save_state(SnapshotWriter& out) const { out.value(previous_close_); }
  void load_state(SnapshotReader& in);

 private:
  [[nodiscard]] Entries entries(std::span<const OptionalValue> values) const;
  // The volatility from the two sample variances and the mean term.
  [[nodiscard]] OptionalValue combined(double overnight_var, double open_close_var, double rs_mean) const;
  // The values once the bar's entries are in the buffers.
  [[nodiscard]] UpdateResult evaluate(std::span<const OptionalValue> values);

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
