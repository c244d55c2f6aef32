#include "columns/window_sums.hpp"

#include <algorithm>

// Four lanes where the machine has them; the arithmetic per lane is the
// same either way (no fused multiply-adds: contraction is off everywhere).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define VEXAL_WIDE_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VEXAL_WIDE_KERNEL
#endif

namespace vexal {
namespace {

// Windows are taken a tile at a time, so the running sums stay in the
// first-level cache while every entry of the window is added to them.
constexpr std::size_t kTile = 256;

}  // namespace

VEXAL_WIDE_KERNEL void window_sums(const double* x, std::size_t count, std::size_t w, double* out) {
  for (std::size_t t0 = 0; t0 < count; t0 += kTile) {
    const std::size_t m = std::min(kTile, count - t0);
    double* acc = out + t0;
    const double* base = x + t0;
    for (std::size_t t = 0; t < m; ++t) acc[t] = 0.0;
    for (std::size_t j = 0; j < w; ++j) {
      const double* row = base + j;
      for (std::size_t t = 0; t < m; ++t) acc[t] += row[t];
    }
  }
}

VEXAL_WIDE_KERNEL void window_square_deviations(const double* x, std::size_t count, std::size_t w,
                                                const double* mean, double* out) {
  for (std::size_t t0 = 0; t0 < count; t0 += kTile) {
    const std::size_t m = std::min(kTile, count - t0);
    double* acc = out + t0;
    const double* mu = mean + t0;
    const double* base = x + t0;
    for (std::size_t t = 0; t < m; ++t) acc[t] = 0.0;
    for (std::size_t j = 0; j < w; ++j) {
      const double* row = base + j;
      for (std::size_t t = 0; t < m; ++t) {
        const double d = row[t] - mu[t];
        acc[t] += d * d;
      }
    }
  }
}

VEXAL_WIDE_KERNEL void window_cube_sums(const double* x, std::size_t count, std::size_t w, const double* mean,
                                        const double* scale, double* out) {
  for (std::size_t t0 = 0; t0 < count; t0 += kTile) {
    const std::size_t m = std::min(kTile, count - t0);
    double* acc = out + t0;
    const double* mu = mean + t0;
    const double* s = scale + t0;
    const double* base = x + t0;
    for (std::size_t t = 0; t < m; ++t) acc[t] = 0.0;
    for (std::size_t j = 0; j < w; ++j) {
      const double* row = base + j;
      for (std::size_t t = 0; t < m; ++t) {
        const double z = (row[t] - mu[t]) / s[t];
        acc[t] += (z * z) * z;
      }
    }
  }
}

VEXAL_WIDE_KERNEL void window_fourth_sums(const double* x, std::size_t count, std::size_t w, const double* mean,
                                          const double* scale, double* out) {
  for (std::size_t t0 = 0; t0 < count; t0 += kTile) {
    const std::size_t m = std::min(kTile, count - t0);
    double* acc = out + t0;
    const double* mu = mean + t0;
    const double* s = scale + t0;
    const double* base = x + t0;
    for (std::size_t t = 0; t < m; ++t) acc[t] = 0.0;
    for (std::size_t j = 0; j < w; ++j) {
      const double* row = base + j;
      for (std::size_t t = 0; t < m; ++t) {
        const double z = (row[t] - mu[t]) / s[t];
        const double z2 = z * z;
        acc[t] += z2 * z2;
      }
    }
  }
}

VEXAL_WIDE_KERNEL void window_co_moments(const double* x, const double* y, std::size_t count, std::size_t w,
                                         const double* mean_x, const double* mean_y, double* sxx, double* sxy,
                                         double* syy) {
  for (std::size_t t0 = 0; t0 < count; t0 += kTile) {
    const std::size_t m = std::min(kTile, count - t0);
    double* axx = sxx + t0;
    double* axy = sxy + t0;
    double* ayy = syy + t0;
    const double* mx = mean_x + t0;
    const double* my = mean_y + t0;
    for (std::size_t t = 0; t < m; ++t) {
      axx[t] = 0.0;
      axy[t] = 0.0;
      ayy[t] = 0.0;
    }
    for (std::size_t j = 0; j < w; ++j) {
      const double* xr = x + t0 + j;
      const double* yr = y + t0 + j;
      for (std::size_t t = 0; t < m; ++t) {
        const double dx = xr[t] - mx[t];
        const double dy = yr[t] - my[t];
        axx[t] += dx * dx;
        axy[t] += dy * dx;
        ayy[t] += dy * dy;
      }
    }
  }
}

}  // namespace vexal
