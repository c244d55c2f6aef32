#include "features/skewness.hpp"

namespace vexal {

double Skewness::correct(double sum_of_cubes, double n) {
  return (n / ((n - 1.0) * (n - 2.0))) * sum_of_cubes;
}

}  // namespace vexal
