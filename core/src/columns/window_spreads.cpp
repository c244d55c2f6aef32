#include "columns/window_spreads.hpp"

#include "columns/lanes.hpp"

namespace vexal {
namespace {

using lanes::entry;
using lanes::load;
using lanes::over_windows;
using lanes::store;
using lanes::zero;

template <class V>
VEXAL_LANES_INLINE V absolute(V d) {
  if constexpr (sizeof(V) == sizeof(double)) {
    return __builtin_fabs(d);
  } else {
    // Clearing the sign bit is fabs, lane by lane.
    using Bits = long long __attribute__((vector_size(32)));
    constexpr long long magnitude = 0x7fffffffffffffffLL;
    return reinterpret_cast<V>(reinterpret_cast<Bits>(d) & magnitude);
  }
}

template <class Rows>
struct AbsDeviations {
  Rows x;
  std::size_t w;
  const double* mean;
  double* out;
  template <class V>
  VEXAL_LANES_INLINE void run(std::size_t t) const {
    V acc = zero<V>();
    const V mu = load(mean + t, V{});
    for (std::size_t j = 0; j < w; ++j) acc += absolute(entry(x, t, j, V{}) - mu);
    store(out + t, acc);
  }
};

// m starts at the oldest entry; a later entry replaces it when beyond it or
// NaN, and a NaN m stays (the scan stops at the first NaN).
template <bool Highest, class Rows>
struct Extremes {
  Rows x;
  std::size_t w;
  double* out;
  template <class V>
  VEXAL_LANES_INLINE void run(std::size_t t) const {
    V m = entry(x, t, 0, V{});
    for (std::size_t j = 1; j < w; ++j) {
      const V v = entry(x, t, j, V{});
      if constexpr (sizeof(V) == sizeof(double)) {
        if (m != m) break;
        if ((Highest ? v > m : v < m) || v != v) m = v;
      } else {
        const auto take = ((Highest ? v > m : v < m) | (v != v)) & (m == m);
        m = take ? v : m;
      }
    }
    store(out + t, m);
  }
};

}  // namespace

#define VEXAL_WINDOW_SPREADS_FOR(Rows)                                                            \
  VEXAL_LANES_KERNEL void window_abs_deviations(Rows x, std::size_t count, std::size_t w,         \
                                                const double* mean, double* out) {                \
    over_windows(count, AbsDeviations<Rows>{x, w, mean, out});                                    \
  }                                                                                               \
  VEXAL_LANES_KERNEL void window_highest(Rows x, std::size_t count, std::size_t w, double* out) { \
    over_windows(count, Extremes<true, Rows>{x, w, out});                                         \
  }                                                                                               \
  VEXAL_LANES_KERNEL void window_lowest(Rows x, std::size_t count, std::size_t w, double* out) {  \
    over_windows(count, Extremes<false, Rows>{x, w, out});                                        \
  }

VEXAL_WINDOW_SPREADS_FOR(Consecutive)
VEXAL_WINDOW_SPREADS_FOR(Gathered)

}  // namespace vexal
