#pragma once

#include <optional>
#include <span>

#include "columns/window_sums.hpp"
#include "optional_value.hpp"
#include "value_buffer.hpp"

namespace vexal {

// The reductions a live bar shares with the column path: window_sums
// adds a window oldest to newest from 0.0, in the same code for one window
// as for a chunk of them, so the two agree to the bit (NaN signs included).
// Recomputed from scratch every bar so nothing drifts.

// Sum of a run of values.
[[nodiscard]] inline double sum_of(std::span<const double> run) {
  double sum = 0.0;
  window_sums(run.data(), 1, run.size(), &sum);
  return sum;
}

// Mean of a run of values.
[[nodiscard]] inline double mean_of(std::span<const double> run) {
  return sum_of(run) / static_cast<double>(run.size());
}

// Mean of a full window of present values; absent otherwise.
[[nodiscard]] inline OptionalValue mean_if_complete(ValueBuffer& window) {
  if (!window.complete()) return std::nullopt;
  return mean_of(window.make_contiguous());
}

// The window's values as one contiguous run, oldest first, when it is full
// and every entry is present; absent otherwise. Wrapped storage is
// rearranged in place, so reading a window never allocates.
[[nodiscard]] inline std::optional<std::span<const double>> complete_run(ValueBuffer& window) {
  if (!window.complete()) return std::nullopt;
  return window.make_contiguous();
}

}  // namespace vexal
