#include "columns/window_sums.hpp"

#include <array>
#include <utility>

#include "columns/lanes.hpp"

namespace vexal {
namespace {

using lanes::entry;
using lanes::kWidth;
using lanes::Lanes;
using lanes::load;
using lanes::store;
using lanes::zero;

// Windows go four Lanes at a time, their running sums held in registers
// while every entry of the windows is added to them: four independent sums
// keep the adder busy while each waits for its previous addition. The
// windows left over go one by one through the same code.
template <class Block>
VEXAL_LANES_INLINE void four_at_a_time(std::size_t count, const Block& block) {
  constexpr std::size_t kBlock = 4 * kWidth<Lanes>;
  std::size_t t = 0;
  for (; t + kBlock <= count; t += kBlock) block.template run<Lanes, 4>(t);
  for (; t < count; ++t) block.template run<double, 1>(t);
}

// Each block computes K side-by-side vectors of windows, kWidth<V> windows
// each, starting at window t: its entries are walked once, oldest first, and
// added to all K sums in turn.
template <class V, std::size_t K, class F>
VEXAL_LANES_INLINE void each_vector(F&& f) {
  [&]<std::size_t... k>(std::index_sequence<k...>) {
    (f(k * kWidth<V>), ...);
  }(std::make_index_sequence<K>{});
}

template <class Rows>
struct Sums {
  Rows x;
  std::size_t w;
  double* out;
  template <class V, std::size_t K>
  VEXAL_LANES_INLINE void run(std::size_t t) const {
    std::array<V, K> acc;
    acc.fill(zero<V>());
    for (std::size_t j = 0; j < w; ++j) {
      std::size_t k = 0;
      each_vector<V, K>([&](std::size_t at) { acc[k++] += entry(x, t + at, j, V{}); });
    }
    std::size_t k = 0;
    each_vector<V, K>([&](std::size_t at) { store(out + t + at, acc[k++]); });
  }
};

template <class Rows>
struct SquareDeviations {
  Rows x;
  std::size_t w;
  const double* mean;
  double* out;
  template <class V, std::size_t K>
  VEXAL_LANES_INLINE void run(std::size_t t) const {
    std::array<V, K> acc;
    std::array<V, K> mu;
    acc.fill(zero<V>());
    std::size_t k = 0;
    each_vector<V, K>([&](std::size_t at) { mu[k++] = load(mean + t + at, V{}); });
    for (std::size_t j = 0; j < w; ++j) {
      k = 0;
      each_vector<V, K>([&](std::size_t at) {
        const V d = entry(x, t + at, j, V{}) - mu[k];
        acc[k++] += d * d;
      });
    }
    k = 0;
    each_vector<V, K>([&](std::size_t at) { store(out + t + at, acc[k++]); });
  }
};

template <int Power, class Rows>
struct PowerSums {
  Rows x;
  std::size_t w;
  const double* mean;
  const double* scale;
  double* out;
  template <class V, std::size_t K>
  VEXAL_LANES_INLINE void run(std::size_t t) const {
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
        const V z = (entry(x, t + at, j, V{}) - mu[k]) / s[k];
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

template <class Rows>
struct CoMoments {
  Rows x;
  Rows y;
  std::size_t w;
  const double* mean_x;
  const double* mean_y;
  double* sxx;
  double* sxy;
  double* syy;
  template <class V, std::size_t K>
  VEXAL_LANES_INLINE void run(std::size_t t) const {
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
        const V dx = entry(x, t + at, j, V{}) - mx[k];
        const V dy = entry(y, t + at, j, V{}) - my[k];
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

#define VEXAL_WINDOW_SUMS_FOR(Rows)                                                                        \
  VEXAL_LANES_KERNEL void window_sums(Rows x, std::size_t count, std::size_t w, double* out) {             \
    four_at_a_time(count, Sums<Rows>{x, w, out});                                                          \
  }                                                                                                        \
  VEXAL_LANES_KERNEL void window_square_deviations(Rows x, std::size_t count, std::size_t w,               \
                                                   const double* mean, double* out) {                      \
    four_at_a_time(count, SquareDeviations<Rows>{x, w, mean, out});                                        \
  }                                                                                                        \
  VEXAL_LANES_KERNEL void window_cube_sums(Rows x, std::size_t count, std::size_t w, const double* mean,   \
                                           const double* scale, double* out) {                             \
    four_at_a_time(count, PowerSums<3, Rows>{x, w, mean, scale, out});                                     \
  }                                                                                                        \
  VEXAL_LANES_KERNEL void window_fourth_sums(Rows x, std::size_t count, std::size_t w, const double* mean, \
                                             const double* scale, double* out) {                           \
    four_at_a_time(count, PowerSums<4, Rows>{x, w, mean, scale, out});                                     \
  }                                                                                                        \
  VEXAL_LANES_KERNEL void window_co_moments(Rows x, Rows y, std::size_t count, std::size_t w,              \
                                            const double* mean_x, const double* mean_y, double* sxx,       \
                                            double* sxy, double* syy) {                                    \
    four_at_a_time(count, CoMoments<Rows>{x, y, w, mean_x, mean_y, sxx, sxy, syy});                        \
  }

VEXAL_WINDOW_SUMS_FOR(Consecutive)
VEXAL_WINDOW_SUMS_FOR(Gathered)

}  // namespace vexal
