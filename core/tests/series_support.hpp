#pragma once

// Building whole series and comparing them, for the series tools, scalers
// and targets.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "optional_value.hpp"
#include "test_support.hpp"

namespace vexal::testing {

inline constexpr OptionalValue absent = std::nullopt;

// A series from plain doubles, NaN meaning absent.
inline Series series(const std::vector<double>& xs) {
  Series out;
  out.reserve(xs.size());
  for (double x : xs) out.push_back(bar(x));
  return out;
}
inline Series series(std::initializer_list<double> xs) { return series(std::vector<double>(xs)); }

inline std::string show(const OptionalValue& v) {
  if (!v) return "absent";
  if (std::isnan(*v)) return "nan";  // whatever its sign bit
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", *v);
  return text;
}

inline std::string show(const Series& s) {
  std::string out = "[";
  for (std::size_t i = 0; i < s.size(); ++i) out += (i == 0 ? "" : ", ") + show(s[i]);
  return out + "]";
}

// Equal length, the same elements absent, present ones identical to the bit
// (two NaNs count as identical).
inline ::testing::AssertionResult SeriesIdentical(const char* actual_expr, const char* expected_expr,
                                                  const Series& actual, const Series& expected) {
  const auto same = [](const OptionalValue& a, const OptionalValue& b) {
    return same_value(a, b) || (a && b && std::isnan(*a) && std::isnan(*b));
  };
  bool equal = actual.size() == expected.size();
  for (std::size_t i = 0; equal && i < actual.size(); ++i) equal = same(actual[i], expected[i]);
  if (equal) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << actual_expr << " is " << show(actual) << "\nbut " << expected_expr << " is " << show(expected);
}

// Equal length and presence; present values within
// max(abs_tol, rel_tol * |expected|) of each other. Reports the worst element.
inline ::testing::AssertionResult SeriesNear(const Series& actual, const Series& expected, double rel_tol,
                                             double abs_tol) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure() << "lengths " << actual.size() << " and " << expected.size();
  }
  std::size_t worst = actual.size();
  double worst_excess = 0.0;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i].has_value() != expected[i].has_value()) {
      return ::testing::AssertionFailure()
             << "at " << i << ": " << show(actual[i]) << " but expected " << show(expected[i]);
    }
    if (!actual[i] || same_value(actual[i], expected[i])) continue;
    const double error = std::fabs(*actual[i] - *expected[i]);
    const double allowed = std::fmax(abs_tol, rel_tol * std::fabs(*expected[i]));
    if (!(error <= allowed) && (worst == actual.size() || error / allowed > worst_excess)) {
      worst = i;
      worst_excess = error / allowed;
    }
  }
  if (worst == actual.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "at " << worst << ": " << show(actual[worst]) << " but expected " << show(expected[worst]) << " ("
         << worst_excess << " times the tolerance)";
}

}  // namespace vexal::testing
