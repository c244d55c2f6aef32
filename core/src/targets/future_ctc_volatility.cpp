#include "targets/future_ctc_volatility.hpp"

#include <algorithm>

#include "internal_failure.hpp"
#include "tools/pairwise.hpp"
#include "tools/rolling.hpp"
#include "tools/shift.hpp"
#include "transform_base.hpp"

namespace vexal {

std::expected<FutureCTCVolatility, VexalError> FutureCTCVolatility::create(std::string input,
                                                                           std::size_t horizon) {
  if (input.empty()) return invalid_input("input must not be empty");
  if (horizon < 2) return invalid_input("horizon must be >= 2 (std_dev requires at least 2 log returns)");
  return FutureCTCVolatility(std::move(input), horizon);
}

std::expected<FutureCTCVolatility, VexalError> FutureCTCVolatility::load(SnapshotReader& in) {
  std::string input = in.text("input name");
  const std::size_t horizon = in.size("horizon");
  auto made = in.built(snapshot_tag, create(std::move(input), horizon));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

void FutureCTCVolatility::save(SnapshotWriter& out) const {
  out.text(snapshot_tag);
  out.text(input_);
  out.size(horizon_);
}

std::vector<Series> FutureCTCVolatility::run_research(std::span<const ColumnView> columns) const {
  require_values(columns, 1);
  const ColumnView close = columns[0];
  const Series prev = shift(close, 1);
  const Series log_returns = pairwise(prev, close);
  const Series trailing = rolling(log_returns, horizon_);
  // sd[t + h] covers the returns t + 1 .. t + h, so leading it by h labels
  // bar t with the volatility of its next h returns.
  const std::size_t lead = std::min(horizon_, trailing.size());
  std::vector<Series> out;
  out.push_back(shift(trailing, -static_cast<std::ptrdiff_t>(lead)));
  return out;
}

}  // namespace vexal
