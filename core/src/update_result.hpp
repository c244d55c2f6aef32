#pragma once

#include "optional_value.hpp"
#include "small_vector.hpp"

namespace vexal {

// The values one update returns, the i-th for the i-th output name. Room for
// four inline, so producing a bar's output never allocates.
using UpdateResult = SmallVector<OptionalValue, 4>;

}  // namespace vexal
