#include "features/simple_return.hpp"

namespace vexal {

OptionalValue SimpleReturn::compare(double old_value, double new_value) {
  if (!(old_value > 0.0)) return std::nullopt;
  // The difference first, not new / old - 1, which loses digits near 1.
  return (new_value - old_value) / old_value;
}

template class WindowedState<SimpleReturn, 1>;
template class Stepped<SimpleReturn, 1, 1, 1>;

}  // namespace vexal
