#include "features/garman_klass_volatility.hpp"

#include <cmath>
#include <numbers>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {
namespace {

constexpr double two_ln2_minus_1 = 2.0 * std::numbers::ln2 - 1.0;

OptionalValue garman_klass_term(std::span<const OptionalValue> bar) {
  const OptionalValue& open = bar[0];
  const OptionalValue& high = bar[1];
  const OptionalValue& low = bar[2];
  const OptionalValue& close = bar[3];
  if (!open || !high || !low || !close) return std::nullopt;
  if (!(*open > 0.0) || !(*high > 0.0) || !(*low > 0.0) || !(*close > 0.0) || !(*high >= *low))
    return std::nullopt;
  const double hl = std::log(*high / *low);
  const double co = std::log(*close / *open);
  return 0.5 * (hl * hl) - two_ln2_minus_1 * (co * co);
}

}  // namespace

std::expected<GarmanKlassVolatility, VexalError> GarmanKlassVolatility::create(Names inputs,
                                                                               std::size_t window,
                                                                               Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 4, "open, high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return GarmanKlassVolatility(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

GarmanKlassVolatility::Entries GarmanKlassVolatility::entries(std::span<const OptionalValue> values) const {
  return {garman_klass_term(values)};
}

UpdateResult GarmanKlassVolatility::evaluate(std::span<const OptionalValue>) {
  const OptionalValue mean = mean_if_complete(buffer(0));
  if (!mean || !(*mean >= 0.0)) return {std::nullopt};
  return {std::sqrt(*mean)};
}

void GarmanKlassVolatility::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                           std::size_t n) {
  require_values(in, 4);
  require_values(out, 1);
  const std::size_t w = window();
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return garman_klass_term(bar_at<4>(in, t)); });
  const std::vector<double> mean = means_by_bar(chunk, w, n);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(chunk, t) && mean[t] >= 0.0) {
      out[0].set(t, std::sqrt(mean[t]));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
