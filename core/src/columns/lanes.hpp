#pragma once

#include <cstddef>
#include <cstring>

#include "columns/window_rows.hpp"

// Four windows side by side: each operation on a Lanes value is the same
// IEEE operation on each of its doubles, so a lane computes exactly what the
// scalar code computes for its window. For kernel sources only: the vector
// helpers are always inlined, so no call ever passes a vector.

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define VEXAL_LANES_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VEXAL_LANES_KERNEL
#endif
#define VEXAL_LANES_INLINE inline __attribute__((always_inline))

// No call passes a vector, so the warning about how one would does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace vexal::lanes {

using Lanes = double __attribute__((vector_size(32)));

template <class V>
constexpr std::size_t kWidth = sizeof(V) / sizeof(double);

VEXAL_LANES_INLINE Lanes load(const double* p, Lanes) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
VEXAL_LANES_INLINE double load(const double* p, double) { return *p; }
VEXAL_LANES_INLINE void store(double* p, Lanes v) { std::memcpy(p, &v, sizeof v); }
VEXAL_LANES_INLINE void store(double* p, double v) { *p = v; }
// Entry j of window t, one window a lane: from a chunk's run of
// overlapping windows, or from each symbol's own window.
VEXAL_LANES_INLINE double entry(Consecutive rows, std::size_t t, std::size_t j, double) {
  return rows.x[t + j];
}
VEXAL_LANES_INLINE Lanes entry(Consecutive rows, std::size_t t, std::size_t j, Lanes) {
  return load(rows.x + t + j, Lanes{});
}
VEXAL_LANES_INLINE double entry(Gathered rows, std::size_t t, std::size_t j, double) {
  return rows.starts[t][j];
}
VEXAL_LANES_INLINE Lanes entry(Gathered rows, std::size_t t, std::size_t j, Lanes) {
  const double* const* s = rows.starts + t;
  return Lanes{s[0][j], s[1][j], s[2][j], s[3][j]};
}

template <class V>
VEXAL_LANES_INLINE V zero() {
  return V{} * 0.0;  // +0.0 in every lane, as each scalar sum starts
}

// Windows go two Lanes at a time, the ones left over one by one through the
// same code.
template <class Block>
VEXAL_LANES_INLINE void over_windows(std::size_t count, const Block& block) {
  std::size_t t = 0;
  for (; t + 2 * kWidth<Lanes> <= count; t += 2 * kWidth<Lanes>) {
    block.template run<Lanes>(t);
    block.template run<Lanes>(t + kWidth<Lanes>);
  }
  for (; t < count; ++t) block.template run<double>(t);
}

}  // namespace vexal::lanes
