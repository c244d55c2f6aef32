#pragma once

#include <cstddef>

namespace vexal {

// More per-bar window arithmetic in the manner of window_sums.hpp: `count`
// consecutive windows of `w` entries, window t starting at x[t], each one
// computed in a vector lane of its own exactly as a bar-by-bar update
// computes it, oldest entry to newest.

// out[t] = sum of |x[t + j] - mean[t]|, from 0.0
void window_abs_deviations(const double* x, std::size_t count, std::size_t w, const double* mean,
                           double* out);
// The largest (smallest) entry of each window as window_extremes.hpp's
// highest (lowest) finds it: the first of equal extremes, and the oldest NaN
// of a window holding one.
void window_highest(const double* x, std::size_t count, std::size_t w, double* out);
void window_lowest(const double* x, std::size_t count, std::size_t w, double* out);

}  // namespace vexal
