#pragma once

#include <cstddef>

#include "columns/window_rows.hpp"

namespace vexal {

// Per-bar window arithmetic over `count` consecutive windows of `w` entries,
// window t starting at x[t]. Each window's sum starts at 0.0 and adds its
// entries oldest to newest, exactly as a bar-by-bar update does; the loops
// run over windows innermost, so a vector lane holds one window and no
// single sum is reordered.

// out[t] = sum of x[t .. t + w)
void window_sums(Consecutive x, std::size_t count, std::size_t w, double* out);
void window_sums(Gathered x, std::size_t count, std::size_t w, double* out);
// out[t] = sum of (x[t + j] - mean[t])²
void window_square_deviations(Consecutive x, std::size_t count, std::size_t w, const double* mean,
                              double* out);
void window_square_deviations(Gathered x, std::size_t count, std::size_t w, const double* mean, double* out);
// out[t] = sum of z³ (cube) or z⁴ (fourth) with z = (x[t + j] - mean[t]) / scale[t]
void window_cube_sums(Consecutive x, std::size_t count, std::size_t w, const double* mean,
                      const double* scale, double* out);
void window_cube_sums(Gathered x, std::size_t count, std::size_t w, const double* mean, const double* scale,
                      double* out);
void window_fourth_sums(Consecutive x, std::size_t count, std::size_t w, const double* mean,
                        const double* scale, double* out);
void window_fourth_sums(Gathered x, std::size_t count, std::size_t w, const double* mean, const double* scale,
                        double* out);
// The three co-moment sums of a least-squares fit, dx = x - mean_x and
// dy = y - mean_y: sxx += dx·dx, sxy += dy·dx, syy += dy·dy.
void window_co_moments(Consecutive x, Consecutive y, std::size_t count, std::size_t w, const double* mean_x,
                       const double* mean_y, double* sxx, double* sxy, double* syy);
void window_co_moments(Gathered x, Gathered y, std::size_t count, std::size_t w, const double* mean_x,
                       const double* mean_y, double* sxx, double* sxy, double* syy);

// The power sums as objects, for the moments that name theirs.
inline constexpr auto cube_sums_kernel = [](auto x, std::size_t count, std::size_t w, const double* mean,
                                            const double* scale,
                                            double* out) { window_cube_sums(x, count, w, mean, scale, out); };
inline constexpr auto fourth_sums_kernel = [](auto x, std::size_t count, std::size_t w, const double* mean,
                                              const double* scale, double* out) {
  window_fourth_sums(x, count, w, mean, scale, out);
};

}  // namespace vexal
