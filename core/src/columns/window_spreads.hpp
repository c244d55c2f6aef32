#pragma once

#include <cstddef>

#include "columns/window_rows.hpp"

namespace vexal {

// More per-bar window arithmetic in the manner of window_sums.hpp: `count`
// consecutive windows of `w` entries, window t starting at x[t], each one
// computed in a vector lane of its own exactly as a bar-by-bar update
// computes it, oldest entry to newest.

// out[t] = sum of |x[t + j] - mean[t]|, from 0.0
void window_abs_deviations(Consecutive x, std::size_t count, std::size_t w, const double* mean, double* out);
void window_abs_deviations(Gathered x, std::size_t count, std::size_t w, const double* mean, double* out);
// The largest (smallest) entry of each window as window_extremes.hpp's
// highest (lowest) finds it: the first of equal extremes, and the oldest NaN
// of a window holding one.
void window_highest(Consecutive x, std::size_t count, std::size_t w, double* out);
void window_highest(Gathered x, std::size_t count, std::size_t w, double* out);
void window_lowest(Consecutive x, std::size_t count, std::size_t w, double* out);
void window_lowest(Gathered x, std::size_t count, std::size_t w, double* out);

// The extremes as objects, for the helpers that take a kernel and call it
// on either kind of rows.
inline constexpr auto highest_kernel = [](auto x, std::size_t count, std::size_t w, double* out) {
  window_highest(x, count, w, out);
};
inline constexpr auto lowest_kernel = [](auto x, std::size_t count, std::size_t w, double* out) {
  window_lowest(x, count, w, out);
};

}  // namespace vexal
