#include "columns/window_sums.hpp"

#include <array>
#include <cstring>
#include <utility>

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

// Windows go four Lanes at a time, their running sums held in registers
// while every entry of the windows is added to them: four independent sums
// keep the adder busy while each waits for its previous addition. The
// windows left over go one by one through the same code.
template <class Block>
VEXAL_INLINE void over_windows(std::size_t count, const Block& block) {
  constexpr std::size_t kBlock = 4 * kWidth<Lanes>;
  std::size_t t = 0;
  for (; t + kBlock <= count; t += kBlock) block.template run<Lanes, 4>(t);
  for (; t < count; ++t) block.template run<double, 1>(t);
}

// Each block computes K side-by-side vectors of windows, kWidth<V> windows
// each, starting at window t: its entries are walked once, oldest first, and
// added to all K sums in turn.
template <class V, std::size_t K, class F>
VEXAL_INLINE void each_vector(F&& f) {
  [&]<std::size_t... k>(std::index_sequence<k...>) {
    (f(k * kWidth<V>), ...);
  }(std::make_index_sequence<K>{});
}

struct Sums {
  const double* x;
  std::size_t w;
  double* out;
  template <class V, std::size_t K>
  VEXAL_INLINE void run(std::size_t t) const {
    std::array<V, K> acc;
    acc.fill(zero<V>());
    for (std::size_t j = 0; j < w; ++j) {
      std::size_t k = 0;
      each_vector<V, K>([&](std::size_t at) { acc[k++] += load(x + t + at + j, V{}); });
    }
    std::size_t k = 0;
    each_vector<V, K>([&](std::size_t at) { store(out + t + at, acc[k++]); });
  }
};

struct SquareDeviations {
  const double* x;
  std::size_t w;
  const double* mean;
  double* out;
  template <class V, std::size_t K>
  VEXAL_INLINE void run(std::size_t t) const {
    std::array<V, K> acc;
    std::array<V, K> mu;
    acc.fill(zero<V>());
    std::size_t k = 0;
    each_vector<V, K>([&](std::size_t at) { mu[k++] = load(mean + t + at, V{}); });
    for (std::size_t j = 0; j < w; ++j) {
      k = 0;
      each_vector<V, K>([&](std::size_t at) {
        const V d = load(x + t + at + j, V{}) - mu[k];
        acc[k++] += d * d;
      });
    }
    k = 0;
    each_vector<V, K>([&](std::size_t at) { store(out + t + at, acc[k++]); });
  }
};

template <int Power>
struct PowerSums {
  const double* x;
  std::size_t w;
  const double* mean;
  const double* scale;
  double* out;
  template <class V, std::size_t K>
  VEXAL_INLINE void run(std::size_t t) const {
    std::array<V, K> acc;
    std::array<V, K> mu;
    std::array<V, K> s;
    acc.fill(zero<V>());
    std::size_t k = 0;
    each_vector<V, K>([&](std::size_t at) {
      mu[k] = load(mean + t + at, V{});
      s[k++] = load(scale + t + at, V{});
    });
    for (std::size_t j = 0; j < w; ++j) {
      k = 0;
      each_vector<V, K>([&](std::size_t at) {
        const V z = (load(x + t + at + j, V{}) - mu[k]) / s[k];
        if constexpr (Power == 3) {
          acc[k++] += (z * z) * z;
        } else {
          const V z2 = z * z;
          acc[k++] += z2 * z2;
        }
      });
    }
    k = 0;
    each_vector<V, K>([&](std::size_t at) { store(out + t + at, acc[k++]); });
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
  template <class V, std::size_t K>
  VEXAL_INLINE void run(std::size_t t) const {
    std::array<V, K> axx;
    std::array<V, K> axy;
    std::array<V, K> ayy;
    std::array<V, K> mx;
    std::array<V, K> my;
    axx.fill(zero<V>());
    axy.fill(zero<V>());
    ayy.fill(zero<V>());
    std::size_t k = 0;
    each_vector<V, K>([&](std::size_t at) {
      mx[k] = load(mean_x + t + at, V{});
      my[k++] = load(mean_y + t + at, V{});
    });
    for (std::size_t j = 0; j < w; ++j) {
      k = 0;
      each_vector<V, K>([&](std::size_t at) {
        const V dx = load(x + t + at + j, V{}) - mx[k];
        const V dy = load(y + t + at + j, V{}) - my[k];
        axx[k] += dx * dx;
        axy[k] += dy * dx;
        ayy[k++] += dy * dy;
      });
    }
    k = 0;
    each_vector<V, K>([&](std::size_t at) {
      store(sxx + t + at, axx[k]);
      store(sxy + t + at, axy[k]);
      store(syy + t + at, ayy[k++]);
    });
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
