#pragma once

#include <cmath>
#include <span>

namespace vexal {

// Largest and smallest of a run of present values, oldest first. A NaN
// among them makes the result NaN, as numpy's max and min do.
[[nodiscard]] inline double highest(std::span<const double> run) {
  double m = run[0];
  for (const double v : run) {
    if (v > m || std::isnan(v)) m = v;
    if (std::isnan(m)) break;
  }
  return m;
}

[[nodiscard]] inline double lowest(std::span<const double> run) {
  double m = run[0];
  for (const double v : run) {
    if (v < m || std::isnan(v)) m = v;
    if (std::isnan(m)) break;
  }
  return m;
}

}  // namespace vexal
