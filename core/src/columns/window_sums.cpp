#include "columns/window_sums.hpp"

#include <cstring>

// Four lanes where the machine has them; the arithmetic per lane is the
// same either way (no fused multiply-adds: contraction is off everywhere).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define VEXAL_WIDE_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VEXAL_WIDE_KERNEL
#endif
#define VEXAL_INLINE inline __attribute__((always_inline))

// The vector helpers below are internal and always inlined: no call passes
// a vector, so the warning about how a call would pass one does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace vexal {
namespace {

// Four windows side by side: each operation on a Lanes value is the same
// IEEE operation on each of its doubles, so a lane computes exactly what the
// scalar code computes for its window.
using Lanes = double __attribute__((vector_size(32)));

VEXAL_INLINE Lanes load(const double* p, Lanes) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
VEXAL_INLINE double load(const double* p, double) { return *p; }
VEXAL_INLINE void store(double* p, Lanes v) { std::memcpy(p, &v, sizeof v); }
VEXAL_INLINE void store(double* p, double v) { *p = v; }
template <class V>
VEXAL_INLINE V zero() {
  return V{} * 0.0;  // +0.0 in every lane, as each scalar sum starts
}

template <class V>
constexpr std::size_t kWidth = sizeof(V) / sizeof(double);

// Windows go two Lanes at a time, their running sums held in registers
// while every entry of the windows is added to them; the windows left over
// go one by one through the same code.
template <class Block>
VEXAL_INLINE void over_windows(std::size_t count, const Block& block) {
  std::size_t t = 0;
  for (; t + 2 * kWidth<Lanes> <= count; t += 2 * kWidth<Lanes>) {
    block.template run<Lanes>(t);
    block.template run<Lanes>(t + kWidth<Lanes>);
  }
  for (; t < count; ++t) block.template run<double>(t);
}

struct Sums {
  const double* x;
  std::size_t w;
  double* out;
  template <class V>
  VEXAL_INLINE void run(std::size_t t) const {
    V acc = zero<V>();
    for (std::size_t j = 0; j < w; ++j) acc += load(x + t + j, V{});
    store(out + t, acc);
  }
};

struct SquareDeviations {
  const double* x;
  std::size_t w;
  const double* mean;
  double* out;
  template <class V>
  VEXAL_INLINE void run(std::size_t t) const {
    V acc = zero<V>();
    const V mu = load(mean + t, V{});
    for (std::size_t j = 0; j < w; ++j) {
      const V d = load(x + t + j, V{}) - mu;
      acc += d * d;
    }
    store(out + t, acc);
  }
};

template <int Power>
struct PowerSums {
  const double* x;
  std::size_t w;
  const double* mean;
  const double* scale;
  double* out;
  template <class V>
  VEXAL_INLINE void run(std::size_t t) const {
    V acc = zero<V>();
    const V mu = load(mean + t, V{});
    const V s = load(scale + t, V{});
    for (std::size_t j = 0; j < w; ++j) {
      const V z = (load(x + t + j, V{}) - mu) / s;
      if constexpr (Power == 3) {
        acc += (z * z) * z;
      } else {
        const V z2 = z * z;
        acc += z2 * z2;
      }
    }
    store(out + t, acc);
  }
};

struct CoMoments {
  const double* x;
  const double* y;
  std::size_t w;
  const double* mean_x;
  const double* mean_y;
  double* sxx;
  double* sxy;
  double* syy;
  template <class V>
  VEXAL_INLINE void run(std::size_t t) const {
    V axx = zero<V>();
    V axy = zero<V>();
    V ayy = zero<V>();
    const V mx = load(mean_x + t, V{});
    const V my = load(mean_y + t, V{});
    for (std::size_t j = 0; j < w; ++j) {
      const V dx = load(x + t + j, V{}) - mx;
      const V dy = load(y + t + j, V{}) - my;
      axx += dx * dx;
      axy += dy * dx;
      ayy += dy * dy;
    }
    store(sxx + t, axx);
    store(sxy + t, axy);
    store(syy + t, ayy);
  }
};

}  // namespace

VEXAL_WIDE_KERNEL void window_sums(const double* x, std::size_t count, std::size_t w, double* out) {
  over_windows(count, Sums{x, w, out});
}

VEXAL_WIDE_KERNEL void window_square_deviations(const double* x, std::size_t count, std::size_t w,
                                                const double* mean, double* out) {
  over_windows(count, SquareDeviations{x, w, mean, out});
}

VEXAL_WIDE_KERNEL void window_cube_sums(const double* x, std::size_t count, std::size_t w, const double* mean,
                                        const double* scale, double* out) {
  over_windows(count, PowerSums<3>{x, w, mean, scale, out});
}

VEXAL_WIDE_KERNEL void window_fourth_sums(const double* x, std::size_t count, std::size_t w,
                                          const double* mean, const double* scale, double* out) {
  over_windows(count, PowerSums<4>{x, w, mean, scale, out});
}

VEXAL_WIDE_KERNEL void window_co_moments(const double* x, const double* y, std::size_t count, std::size_t w,
                                         const double* mean_x, const double* mean_y, double* sxx, double* sxy,
                                         double* syy) {
  over_windows(count, CoMoments{x, y, w, mean_x, mean_y, sxx, sxy, syy});
}

}  // namespace vexal
