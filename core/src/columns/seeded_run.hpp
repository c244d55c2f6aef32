#pragma once

#include <cstddef>

namespace vexal {

// Drives a seeded recursion over a chunk of `n` bars. While `seeded()`, the
// recursion runs in locals: `run(t)` steps it over the bars from t on whose
// inputs it can take and returns the first bar it could not (n at the end).
// Every other bar, a seeding bar or one that breaks the recursion, goes
// through `one(t)`, the transform's own update, so the values and the state
// are those of updating bar by bar.
template <class Seeded, class Run, class One>
void run_seeded(std::size_t n, Seeded&& seeded, Run&& run, One&& one) {
  std::size_t t = 0;
  while (t < n) {
    if (seeded()) {
      t = run(t);
      if (t == n) return;
    }
    one(t);
    ++t;
  }
}

}  // namespace vexal
