#include "tools/shift.hpp"

#include <algorithm>

namespace vexal {

Series shift(ColumnView values, std::ptrdiff_t n) {
  const std::size_t len = values.size();
  Series result(len);
  if (n >= 0) {
    const auto lag = static_cast<std::size_t>(n);
    if (lag < len) std::copy(values.begin(), values.end() - lag, result.begin() + lag);
  } else {
    // -n itself overflows for the most negative n; step around it.
    const std::size_t lead = static_cast<std::size_t>(-(n + 1)) + 1;
    if (lead < len) std::copy(values.begin() + lead, values.end(), result.begin());
  }
  return result;
}

}  // namespace vexal
