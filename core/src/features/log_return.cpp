#include "features/log_return.hpp"

#include <cmath>

namespace vexal {

OptionalValue LogReturn::compare(double old_value, double new_value) {
  if (!(old_value > 0.0) || !(new_value > 0.0)) return std::nullopt;
  // One logarithm of the quotient, so results match the research tools.
  return std::log(new_value / old_value);
}

template class WindowedState<LogReturn, 1>;
template class Stepped<LogReturn, 1, 1, 1>;

}  // namespace vexal
