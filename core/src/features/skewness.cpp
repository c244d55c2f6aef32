#include "features/skewness.hpp"

namespace vexal {

double Skewness::correct(double sum_of_cubes, double n) {
  return (n / ((n - 1.0) * (n - 2.0))) * sum_of_cubes;
}

template class WindowedState<Skewness, 1>;
template class Stepped<Skewness, 1, 1, 1>;

}  // namespace vexal
