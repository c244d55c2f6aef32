#pragma once

#include <cstddef>

#include "optional_value.hpp"

namespace vexal {

// Moves a series in time: a positive `n` lags it (result[t] = values[t - n]),
// a negative one leads it (result[t] = values[t + |n|]). Positions with no
// source element are absent; the result is as long as `values`.
[[nodiscard]] Series shift(ColumnView values, std::ptrdiff_t n);

}  // namespace vexal
