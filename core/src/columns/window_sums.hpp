#pragma once

#include <cstddef>

namespace vexal {

// Per-bar window arithmetic over `count` consecutive windows of `w` entries,
// window t starting at x[t]. Each window's sum starts at 0.0 and adds its
// entries oldest to newest, exactly as a bar-by-bar update does; the loops
// run over windows innermost, so a vector lane holds one window and no
// single sum is reordered.

// out[t] = sum of x[t .. t + w)
void window_sums(const double* x, std::size_t count, std::size_t w, double* out);
// out[t] = sum of (x[t + j] - mean[t])²
void window_square_deviations(const double* x, std::size_t count, std::size_t w, const double* mean,
                              double* out);
// out[t] = sum of z³ (cube) or z⁴ (fourth) with z = (x[t + j] - mean[t]) / scale[t]
void window_cube_sums(const double* x, std::size_t count, std::size_t w, const double* mean,
                      const double* scale, double* out);
void window_fourth_sums(const double* x, std::size_t count, std::size_t w, const double* mean,
                        const double* scale, double* out);
// The three co-moment sums of a least-squares fit, dx = x - mean_x and
// dy = y - mean_y: sxx += dx·dx, sxy += dy·dx, syy += dy·dy.
void window_co_moments(const double* x, const double* y, std::size_t count, std::size_t w,
                       const double* mean_x, const double* mean_y, double* sxx, double* sxy, double* syy);

}  // namespace vexal
