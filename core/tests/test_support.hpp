#pragma once

#include <cmath>
#include <initializer_list>
#include <vector>

#include "traits.hpp"

namespace vexal::testing {

// Feeds one value per bar (NaN meaning absent) and collects the first output.
inline Series run(StreamingTransform& t, std::initializer_list<double> xs) {
  Series out;
  for (double x : xs) {
    const OptionalValue v = std::isnan(x) ? OptionalValue() : OptionalValue(x);
    out.push_back(t.update(std::span(&v, 1)).at(0));
  }
  return out;
}

inline OptionalValue bar(double x) { return std::isnan(x) ? OptionalValue() : OptionalValue(x); }

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace vexal::testing

namespace vexal {
using testing::run;
}
