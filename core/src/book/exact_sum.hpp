#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace vexal {

// The correctly rounded sum of finite values, as Python's math.fsum gives
// it: the running sum is kept as non-overlapping partials (Shewchuk), so
// no result depends on the order the values come in. `partials` is scratch
// the caller keeps, so a sum allocates only when it needs more room than
// the last one. A sum beyond the largest double is ±inf.
[[nodiscard]] inline double exact_sum(std::span<const double> values, std::vector<double>& partials) {
  partials.clear();
  for (double x : values) {
    std::size_t kept = 0;
    for (double y : partials) {
      if (std::fabs(x) < std::fabs(y)) std::swap(x, y);
      const double hi = x + y;
      const double lo = y - (hi - x);
      if (lo != 0.0) partials[kept++] = lo;
      x = hi;
    }
    partials.resize(kept);
    partials.push_back(x);
    if (!std::isfinite(x)) return x;
  }
  std::size_t n = partials.size();
  if (n == 0) return 0.0;
  double hi = partials[--n];
  double lo = 0.0;
  while (n > 0) {
    const double x = hi;
    const double y = partials[--n];
    hi = x + y;
    lo = y - (hi - x);
    if (lo != 0.0) break;
  }
  // Half-way cases round to even in the partials the loop stopped at: the
  // next partial says which way the exact sum leans.
  if (n > 0 && ((lo < 0.0 && partials[n - 1] < 0.0) || (lo > 0.0 && partials[n - 1] > 0.0))) {
    const double y = lo * 2.0;
    const double x = hi + y;
    if (y == x - hi) hi = x;
  }
  return hi;
}

}  // namespace vexal
