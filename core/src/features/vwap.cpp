#include "features/vwap.hpp"

#include "columns/window_by_bar.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Vwap, VexalError> Vwap::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 4, "high, low, close, and volume"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Vwap(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

Vwap::Entries Vwap::entries(std::span<const OptionalValue> values) const {
  const OptionalValue& close = values[2];
  const OptionalValue& volume = values[3];
  if (!TrueRange::valid_range(values[0], values[1]) || !close || !volume || !(*volume >= 0.0)) {
    return {std::nullopt, std::nullopt};
  }
  const double typical = (*values[0] + *values[1] + *close) / 3.0;
  return {typical * *volume, volume};
}

UpdateResult Vwap::evaluate(std::span<const OptionalValue>) {
  if (!buffer(0).full()) return {std::nullopt};
  const OptionalValue weighted = sum_if_complete(buffer(0));
  const OptionalValue traded = sum_if_complete(buffer(1));
  if (!weighted || !traded || *traded == 0.0) return {std::nullopt};
  return {*weighted / *traded};
}

void Vwap::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 4);
  require_values(out, 1);
  std::vector<Entries> terms(n);
  for (std::size_t t = 0; t < n; ++t) terms[t] = entries(bar_at<4>(in, t));
  const std::size_t w = window();
  // Both entries of a bar are present or absent together.
  const ChunkWindow weighted(buffer(0), n, [&](std::size_t t) { return terms[t][0]; });
  const ChunkWindow traded(buffer(1), n, [&](std::size_t t) { return terms[t][1]; });
  const std::vector<double> weighted_sums = sums_by_bar(weighted, w, n);
  const std::vector<double> traded_sums = sums_by_bar(traded, w, n);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(weighted, t) && traded_sums[t] != 0.0) {
      out[0].set(t, weighted_sums[t] / traded_sums[t]);
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  weighted.store(buffer(0));
  traded.store(buffer(1));
}

}  // namespace vexal
