#include "tools/pairwise.hpp"

#include <algorithm>
#include <cmath>

namespace vexal {

Series pairwise(ColumnView a, ColumnView b) {
  const std::size_t m = std::min(a.size(), b.size());
  Series result;
  result.reserve(m);
  for (std::size_t i = 0; i < m; ++i) {
    const OptionalValue& x = a[i];
    const OptionalValue& y = b[i];
    const bool usable = x && y && *x > 0.0 && *y > 0.0;
    result.push_back(usable ? OptionalValue(std::log(*y / *x)) : std::nullopt);
  }
  return result;
}

}  // namespace vexal
