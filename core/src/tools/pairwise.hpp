#pragma once

#include "optional_value.hpp"

namespace vexal {

// Log ratio of two aligned series: result[i] = ln(b[i] / a[i]) where both are
// present and strictly positive, absent elsewhere (a NaN is not positive).
// As long as the shorter series; the longer one's tail is ignored.
[[nodiscard]] Series pairwise(ColumnView a, ColumnView b);

}  // namespace vexal
