#include "features/stochastic.hpp"

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
  const double lowest_low = lowest(*l);
  const double range = highest(*h) - lowest_low;
  if (range == 0.0) return std::nullopt;
  return 100.0 * ((*close - lowest_low) / range);
}

}  // namespace vexal
