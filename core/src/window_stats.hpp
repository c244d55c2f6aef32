#pragma once

#include <optional>
#include <span>

#include "optional_value.hpp"
#include "ring_buffer.hpp"

namespace vexal {

// Sum of a window added oldest to newest from 0.0, or absent when the window
// holds an absent entry. Recomputed from scratch every bar so nothing drifts.
[[nodiscard]] inline OptionalValue sum_if_complete(const ValueBuffer& window) {
  double sum = 0.0;
  bool complete = true;
  window.for_each([&](const OptionalValue& v) {
    if (v) {
      sum += *v;
    } else {
      complete = false;
    }
  });
  return complete ? OptionalValue(sum) : std::nullopt;
}

[[nodiscard]] inline bool all_present(const ValueBuffer& window) {
  bool complete = true;
  window.for_each([&](const OptionalValue& v) { complete = complete && v.has_value(); });
  return complete;
}

// Mean of a full window of present values; absent otherwise.
[[nodiscard]] inline OptionalValue mean_if_complete(const ValueBuffer& window) {
  if (!window.full()) return std::nullopt;
  const OptionalValue sum = sum_if_complete(window);
  if (!sum) return std::nullopt;
  return *sum / static_cast<double>(window.size());
}

// The window as one contiguous run, oldest first, when it is full and every
// entry is present; absent otherwise. Wrapped storage is rearranged in place,
// so reading a window never allocates.
[[nodiscard]] inline std::optional<std::span<const OptionalValue>> complete_run(ValueBuffer& window) {
  if (!window.full() || !all_present(window)) return std::nullopt;
  return window.make_contiguous();
}

// Mean of a run of present values, summed oldest to newest from 0.0.
[[nodiscard]] inline double mean_of(std::span<const OptionalValue> run) {
  double sum = 0.0;
  for (const OptionalValue& v : run) sum += *v;
  return sum / static_cast<double>(run.size());
}

}  // namespace vexal
