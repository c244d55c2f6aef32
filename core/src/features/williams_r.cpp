#include "features/williams_r.hpp"

#include "columns/window_by_bar.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<WilliamsR, VexalError> WilliamsR::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return WilliamsR(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

WilliamsR::Entries WilliamsR::entries(std::span<const OptionalValue> values) const {
  if (!TrueRange::valid_range(values[0], values[1])) return {std::nullopt, std::nullopt};
  return {values[0], values[1]};
}

UpdateResult WilliamsR::evaluate(std::span<const OptionalValue> values) {
  const OptionalValue close = values[2];
  const auto h = complete_run(buffer(0));
  const auto l = complete_run(buffer(1));
  if (!close || !h || !l) return {std::nullopt};
  return {percent_r(*close, highest(*h), lowest(*l))};
}

OptionalValue WilliamsR::percent_r(double close, double highest_high, double lowest_low) {
  const double range = highest_high - lowest_low;
  if (range == 0.0) return std::nullopt;
  // close − HH is +0.0 at the top of the range, so the maximum is 0, not −0.
  return 100.0 * ((close - highest_high) / range);
}

void WilliamsR::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 3);
  require_values(out, 1);
  std::vector<Entries> terms(n);
  for (std::size_t t = 0; t < n; ++t) terms[t] = entries(bar_at<3>(in, t));
  const ChunkWindow highs(buffer(0), n, [&](std::size_t t) { return terms[t][0]; });
  const ChunkWindow lows(buffer(1), n, [&](std::size_t t) { return terms[t][1]; });
  const std::vector<double> highest_high = by_bar(highs, window(), n, window_highest);
  const std::vector<double> lowest_low = by_bar(lows, window(), n, window_lowest);
  for (std::size_t t = 0; t < n; ++t) {
    if (in[2].valid[t] != 0 && complete_at(highs, t) && lows.complete(t)) {
      out[0].set(t, percent_r(in[2].values[t], highest_high[t], lowest_low[t]));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  highs.store(buffer(0));
  lows.store(buffer(1));
}

}  // namespace vexal
