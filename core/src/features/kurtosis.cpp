#include "features/kurtosis.hpp"

namespace vexal {

double Kurtosis::correct(double sum_of_fourth_powers, double n) {
  const double a = (n * (n + 1.0)) / (((n - 1.0) * (n - 2.0)) * (n - 3.0));
  const double b = (3.0 * ((n - 1.0) * (n - 1.0))) / ((n - 2.0) * (n - 3.0));
  return sum_of_fourth_powers * a - b;
}

template class WindowedState<Kurtosis, 1>;
template class Stepped<Kurtosis, 1, 1, 1>;

}  // namespace vexal
