#include "features/cci.hpp"

#include <cmath>

#include "columns/window_by_bar.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Cci, VexalError> Cci::create(Names inputs, std::size_t window, Names outputs) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_not_empty(outputs), window_non_zero(window)))
    return *failure;
  auto buffers = all_reserved(reserve_window(window));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Cci(std::move(inputs), window, std::move(outputs), std::move(*buffers));
}

Cci::Entries Cci::entries(std::span<const OptionalValue> values) const {
  const OptionalValue& high = values[0];
  const OptionalValue& low = values[1];
  const OptionalValue& close = values[2];
  if (!TrueRange::valid_range(high, low) || !close) return {std::nullopt};
  return {(*high + *low + *close) / 3.0};
}

UpdateResult Cci::evaluate(std::span<const OptionalValue>) {
  const auto run = complete_run(buffer(0));
  if (!run) return {std::nullopt};
  const double n = static_cast<double>(run->size());
  const double mean = mean_of(*run);
  double deviations = 0.0;
  for (const OptionalValue& tp : *run) deviations += std::fabs(*tp - mean);
  return {index(*run->back(), mean, deviations, n)};
}

OptionalValue Cci::index(double newest, double mean, double deviations, double size) {
  const double mean_deviation = deviations / size;
  if (mean_deviation == 0.0) return std::nullopt;
  return (newest - mean) / (0.015 * mean_deviation);
}

void Cci::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 3);
  require_values(out, 1);
  const std::size_t w = window();
  const ChunkWindow chunk(buffer(0), n, [&](std::size_t t) { return entries(bar_at<3>(in, t))[0]; });
  const std::vector<double> mean = means_by_bar(chunk, w, n);
  const std::vector<double> deviations =
      by_bar(chunk, w, n, [&](const double* x, std::size_t count, std::size_t width, double* sums) {
        window_abs_deviations(x, count, width, mean.data() + chunk.first_full(), sums);
      });
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(chunk, t)) {
      out[0].set(t, index(chunk.value(t), mean[t], deviations[t], static_cast<double>(w)));
    } else {
      out[0].set_absent(t);
    }
  }
  set_absent_from(out, 1, n);
  chunk.store(buffer(0));
}

}  // namespace vexal
