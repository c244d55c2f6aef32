#include "features/stochastic.hpp"

#include "columns/window_by_bar.hpp"
#include "features/true_range.hpp"
#include "internal_failure.hpp"
#include "window_extremes.hpp"
#include "window_stats.hpp"

namespace vexal {

std::expected<Stochastic, VexalError> Stochastic::create(Names inputs, std::size_t window, Names outputs,
                                                         std::size_t smooth_k, std::size_t smooth_d) {
  if (auto failure = first_failure(inputs_contain(inputs, 3, "high, low, and close"),
                                   outputs_exactly(outputs, 2, "[k, d]"), window_non_zero(window),
                                   require(smooth_k != 0, "smooth_k must be non-zero"),
                                   require(smooth_d != 0, "smooth_d must be non-zero")))
    return *failure;
  auto buffers = all_reserved(reserve_window(window), reserve_window(window), reserve_window(smooth_k),
                              reserve_window(smooth_d));
  if (!buffers) return std::unexpected(std::move(buffers.error()));
  return Stochastic(std::move(inputs), window, std::move(outputs), std::move(*buffers), smooth_k, smooth_d);
}

UpdateResult Stochastic::update(std::span<const OptionalValue> values) {
  require_values(values, 3);
  const bool valid = TrueRange::valid_range(values[0], values[1]);
  buffer(0).push_back(valid ? values[0] : std::nullopt);
  buffer(1).push_back(valid ? values[1] : std::nullopt);
  buffer(2).push_back(raw_k(values[2]));
  const OptionalValue k = mean_if_complete(buffer(2));
  buffer(3).push_back(k);
  return {k, mean_if_complete(buffer(3))};
}

// update's pushes made undoable, then taken back newest first.
UpdateResult Stochastic::peek(std::span<const OptionalValue> values) {
  require_values(values, 3);
  const bool valid = TrueRange::valid_range(values[0], values[1]);
  const auto highs = buffer(0).push_back_undoable(valid ? values[0] : std::nullopt);
  const auto lows = buffer(1).push_back_undoable(valid ? values[1] : std::nullopt);
  const auto raws = buffer(2).push_back_undoable(raw_k(values[2]));
  const OptionalValue k = mean_if_complete(buffer(2));
  const auto ks = buffer(3).push_back_undoable(k);
  const UpdateResult result{k, mean_if_complete(buffer(3))};
  buffer(3).undo(ks);
  buffer(2).undo(raws);
  buffer(1).undo(lows);
  buffer(0).undo(highs);
  return result;
}

OptionalValue Stochastic::raw_k(const OptionalValue& close) {
  if (!close) return std::nullopt;
  const auto h = complete_run(buffer(0));
  const auto l = complete_run(buffer(1));
  if (!h || !l) return std::nullopt;
  return raw_k_of(*close, highest(*h), lowest(*l));
}

OptionalValue Stochastic::raw_k_of(double close, double highest_high, double lowest_low) {
  const double range = highest_high - lowest_low;
  if (range == 0.0) return std::nullopt;
  return 100.0 * ((close - lowest_low) / range);
}

// The raw %K of the chunk from its window extremes, then its two averages,
// each a windowed mean over the column before it.
void Stochastic::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n) {
  require_values(in, 3);
  require_values(out, 2);
  std::vector<char> valid(n);
  for (std::size_t t = 0; t < n; ++t) valid[t] = TrueRange::valid_range(in[0].at(t), in[1].at(t)) ? 1 : 0;
  const auto side = [&](std::size_t i) {
    return ChunkWindow(buffer(i), n,
                       [&](std::size_t t) { return valid[t] != 0 ? in[i].at(t) : OptionalValue(); });
  };
  const ChunkWindow highs = side(0);
  const ChunkWindow lows = side(1);
  const std::vector<double> highest_high = by_bar(highs, window(), n, window_highest);
  const std::vector<double> lowest_low = by_bar(lows, window(), n, window_lowest);
  std::vector<OptionalValue> raw(n);
  for (std::size_t t = 0; t < n; ++t) {
    if (in[2].valid[t] != 0 && complete_at(highs, t) && lows.complete(t))
      raw[t] = raw_k_of(in[2].values[t], highest_high[t], lowest_low[t]);
  }
  const ChunkWindow raws(buffer(2), n, [&](std::size_t t) { return raw[t]; });
  const std::vector<double> k_mean = means_by_bar(raws, smooth_k_, n);
  std::vector<OptionalValue> k(n);
  for (std::size_t t = 0; t < n; ++t) {
    if (complete_at(raws, t)) k[t] = k_mean[t];
  }
  const ChunkWindow ks(buffer(3), n, [&](std::size_t t) { return k[t]; });
  const std::vector<double> d_mean = means_by_bar(ks, smooth_d_, n);
  for (std::size_t t = 0; t < n; ++t) {
    out[0].set(t, k[t]);
    if (complete_at(ks, t)) {
      out[1].set(t, d_mean[t]);
    } else {
      out[1].set_absent(t);
    }
  }
  highs.store(buffer(0));
  lows.store(buffer(1));
  raws.store(buffer(2));
  ks.store(buffer(3));
}

}  // namespace vexal
