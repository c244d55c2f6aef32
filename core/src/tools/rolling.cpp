#include "tools/rolling.hpp"

#include <algorithm>
#include <cmath>
#include <new>

namespace vexal {
namespace {

template <class Elements>
OptionalValue std_dev_of(const Elements& elements, std::size_t n) {
  if (n < 2) return std::nullopt;
  bool complete = true;
  elements([&](const OptionalValue& v) { complete = complete && v.has_value(); });
  if (!complete) return std::nullopt;
  const auto each = [&](auto&& f) { elements([&](const OptionalValue& v) { f(*v); }); };
  return std::sqrt(sample_moments(each, n).variance);
}

}  // namespace

OptionalValue std_dev(ColumnView values) {
  return std_dev_of(
      [&](auto&& f) {
        for (const OptionalValue& v : values) f(v);
      },
      values.size());
}

OptionalValue std_dev(const ValueBuffer& window) {
  return std_dev_of([&](auto&& f) { window.for_each(f); }, window.size());
}

Series rolling(ColumnView values, std::size_t window) {
  if (window == 0) return {};
  // No window ever fills, so skip the queue: reserving one for a window far
  // longer than the data could exhaust memory for an all-absent answer.
  if (window > values.size()) return Series(values.size());
  auto queue = ValueBuffer::with_capacity(window);
  if (!queue) throw std::bad_alloc();
  Series result;
  result.reserve(values.size());
  for (const OptionalValue& v : values) {
    queue->push_back(v);
    result.push_back(queue->full() ? std_dev(*queue) : std::nullopt);
  }
  return result;
}

}  // namespace vexal
