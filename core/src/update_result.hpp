#pragma once

#include "optional_value.hpp"
#include "small_vector.hpp"

namespace vexal {

// The values one update returns, the i-th for the i-th output name. Room for
// five inline (Bollinger bands give five), so producing a bar's output never
// allocates.
using UpdateResult = SmallVector<OptionalValue, 5>;

}  // namespace vexal
