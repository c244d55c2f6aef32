#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>
#include <type_traits>

#include "optional_value.hpp"

namespace vexal {

// Writes v into *slot with one 16-byte store. Built member by member, the
// value and its flag are two stores, and the next 16-byte copy of the slot
// (every reader copies optionals whole) cannot be forwarded from two smaller
// stores: it waits for them to reach the cache, a stall of a dozen cycles
// that showed up as the largest single cost of a live update. The bytes are
// those of the optional itself (value, then flag), checked once; any other
// layout takes the plain way. `slot` may be raw storage: the optional is
// trivially copyable, so the copied bytes are the object.
// Read at load time rather than in a guarded local static, so a store costs
// no check of its own.
inline const bool kOptionalIsValueThenFlag = [] {
  const OptionalValue present(1.5);
  const OptionalValue absent;
  unsigned char p[sizeof(OptionalValue)];
  unsigned char a[sizeof(OptionalValue)];
  std::memcpy(p, &present, sizeof p);
  std::memcpy(a, &absent, sizeof a);
  double x = 0.0;
  std::memcpy(&x, p, sizeof x);
  return sizeof(OptionalValue) == 16 && x == 1.5 && p[8] == 1 && a[8] == 0;
}();

inline void store_whole(void* slot, OptionalValue v) {
  static_assert(std::is_trivially_copyable_v<OptionalValue> &&
                std::is_trivially_destructible_v<OptionalValue>);
#if defined(__SSE2__)
  if (kOptionalIsValueThenFlag) {
    const __m128i bytes = _mm_unpacklo_epi64(_mm_castpd_si128(_mm_set_sd(v ? *v : 0.0)),
                                             _mm_cvtsi64_si128(v.has_value() ? 1 : 0));
    std::memcpy(slot, &bytes, sizeof bytes);
    return;
  }
#endif
  std::memcpy(slot, &v, sizeof v);
}

}  // namespace vexal
