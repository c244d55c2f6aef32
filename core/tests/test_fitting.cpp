#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "fitting/standard_scaler.hpp"
#include "series_support.hpp"
#include "tools/rolling.hpp"

namespace vexal {
namespace {

using testing::NaN;
using testing::series;

struct FitCase {
  const char* name;
  Series data;
  std::string expected;  // "mean std" or the display text of the failure
  friend void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }
};

std::string outcome(const Series& data) {
  const auto fit = fit_standard_scaler(data);
  if (!fit) return fit.error().display();
  return testing::show(fit->first) + " " + testing::show(fit->second);
}

class FitStandardScaler : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitStandardScaler, FitsPresentValues) { EXPECT_EQ(outcome(GetParam().data), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, FitStandardScaler,
    ::testing::Values(FitCase{"SkipsAbsent", series({1, 2, 3, NaN}), "2 1"},
                      FitCase{"AbsentAnywhere", series({NaN, 4, NaN, 8, NaN}), "6 2.8284271247461903"},
                      FitCase{"Empty", {}, "Invalid input: not enough valid values to compute mean"},
                      FitCase{"AllAbsent", series({NaN, NaN}),
                              "Invalid input: not enough valid values to compute mean"},
                      FitCase{"OneValue", series({5, NaN}),
                              "Invalid input: not enough valid values to compute std (need >= 2)"},
                      FitCase{"AllEqual", series({5, 5, NaN}),
                              "Invalid input: standard deviation is zero (all values are equal)"},
                      // Infinite data gives a NaN variance, which is not zero: no failure.
                      FitCase{"Infinite", series({1, std::numeric_limits<double>::infinity()}), "inf nan"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FitStandardScaler, UsesTheWindowStatistic) {
  const Series gappy = series({2.5, NaN, 1e8 + 0.1, 3.75, NaN, -7.0, 1e-3});
  const Series compact = series({2.5, 1e8 + 0.1, 3.75, -7.0, 1e-3});
  const auto fit = fit_standard_scaler(gappy).value();
  EXPECT_EQ(fit.second, std_dev(compact));
  double sum = 0.0;
  for (const auto& v : compact) sum += *v;
  EXPECT_EQ(fit.first, sum / 5.0);
}

// numpy sums pairwise, the core in order, so they agree to rounding only.
TEST(FitStandardScaler, MatchesNumpyNanmeanAndNanstd) {
  const auto fitted = testing::Table::read(testing::fixture_path("scaler_fit.csv"));
  for (const std::string name : {"spy", "gappy"}) {
    const auto table = testing::Table::read(testing::fixture_path(name + "_targets.csv"));
    const auto [mean, std] = fit_standard_scaler(series(table["close"])).value();
    EXPECT_NEAR(mean, fitted[name + "_mean"][0], 1e-13 * fitted[name + "_mean"][0]) << name;
    EXPECT_NEAR(std, fitted[name + "_std"][0], 1e-12 * fitted[name + "_std"][0]) << name;
  }
}

}  // namespace
}  // namespace vexal
