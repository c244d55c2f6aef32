#include "features/bollinger_bands.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<BollingerBands, VexalError> BollingerBands::create(Names inputs, std::size_t window,
                                                                 Names outputs, double k) {
  if (auto failure = first_failure(
          inputs_not_empty(inputs),
          outputs_exactly(outputs, 5, "[middle, upper, lower, percent_b, bandwidth]"),
          window_non_zero(window), require(std::isfinite(k) && k > 0.0, "k must be finite and > 0")))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return BollingerBands(std::move(inputs), window, std::move(outputs), std::move(*buffers), k);
}

UpdateResult BollingerBands::evaluate(std::span<const OptionalValue> values) {
  const OptionalValue x = values[0];
  const auto run = complete_run(buffer(0));
  if (!run) return {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
  const double middle = mean_of(*run);
  double m2 = 0.0;
  for (const OptionalValue& v : *run) {
    const double d = *v - middle;
    m2 += d * d;
  }
  return bands(*x, middle, m2, static_cast<double>(run->size()));
}

UpdateResult BollingerBands::bands(double x, double middle, double m2, double size) const {
  const double width = k_ * std::sqrt(m2 / size);
  const double upper = middle + width;
  const double lower = middle - width;
  const double range = upper - lower;
  const OptionalValue percent_b = range != 0.0 ? OptionalValue((x - lower) / range) : std::nullopt;
  const OptionalValue bandwidth = middle != 0.0 ? OptionalValue(range / middle) : std::nullopt;
  return {middle, upper, lower, percent_b, bandwidth};
}

void BollingerBands::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                    std::size_t n) {
  require_values(in, 1);
  require_values(out, 5);
  const std::size_t w = window();
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return in[0].at(t); });
  const std::vector<double> middle = means_by_bar(chunk, w, n);
  const std::vector<double> m2 = square_deviations_by_bar(chunk, w, n, middle);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(chunk, t)) {
      set_row(out, t, bands(in[0].values[t], middle[t], m2[t], static_cast<double>(w)));
    } else {
      for (const ColumnOut& o : out) o.set_absent(t);
    }
  }
  chunk.store(buffer(0));
}

}  // namespace vexal
