#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "alloc_counter.hpp"
#include "internal_failure.hpp"
#include "scalers/fixed_zscore.hpp"
#include "scalers/rolling_zscore.hpp"
#include "series_support.hpp"

namespace vexal {
namespace {

using testing::absent;
using testing::NaN;
using testing::series;
using testing::SeriesIdentical;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::size_t huge = std::numeric_limits<std::size_t>::max();

std::string failure_of(const auto& made) { return made ? std::string("created") : made.error().display(); }

Series feed(StreamingTransform& t, const Series& xs) {
  Series out;
  for (const OptionalValue& x : xs) out.push_back(t.update(std::span(&x, 1)).at(0));
  return out;
}

struct Config {
  std::string made;
  const char* expected;
};

class ScalerConfig : public ::testing::TestWithParam<Config> {};

TEST_P(ScalerConfig, ChecksInOrder) { EXPECT_EQ(GetParam().made, GetParam().expected); }

std::string fixed(Names inputs, Names outputs, double mean, double std) {
  return failure_of(FixedZScore::create(std::move(inputs), std::move(outputs), mean, std));
}
std::string rolling(Names inputs, std::size_t window, Names outputs) {
  return failure_of(RollingZScore::create(std::move(inputs), window, std::move(outputs)));
}

constexpr const char* one_column = "Invalid input: inputs must contain exactly 1 column";
constexpr const char* no_outputs = "Invalid input: outputs must not be empty";
constexpr const char* small_window = "Invalid input: window must be >= 2 (need at least 2 values for std)";

INSTANTIATE_TEST_SUITE_P(
    Fixed, ScalerConfig,
    ::testing::Values(Config{fixed({"a", "b"}, {}, 0, 0), one_column},
                      Config{fixed({}, {"z"}, 0, 1), one_column}, Config{fixed({"a"}, {}, 0, -1), no_outputs},
                      Config{fixed({"a"}, {"z"}, 0, 0), "Invalid input: std must be > 0"},
                      Config{fixed({"a"}, {"z"}, 0, -inf), "Invalid input: std must be > 0"},
                      Config{fixed({"a"}, {"z"}, NaN, NaN), "created"}));

INSTANTIATE_TEST_SUITE_P(
    Rolling, ScalerConfig,
    ::testing::Values(Config{rolling({"a", "b"}, 0, {}), one_column},
                      Config{rolling({"a"}, 1, {}), small_window},
                      Config{rolling({"a"}, 0, {"z"}), small_window},
                      Config{rolling({"a"}, 2, {}), no_outputs},
                      Config{rolling({"a"}, huge, {"z"}), "Invalid input: window is too large"},
                      Config{rolling({"a"}, huge / 32, {"z"}), "Invalid input: window is too large"},
                      Config{rolling({"a"}, 2, {"z", "extra"}), "created"}));

TEST(FixedZScore, CentresThenScales) {
  auto z = FixedZScore::create({"x"}, {"z", "z2"}, 10.0, 2.0).value();
  EXPECT_PRED_FORMAT2(SeriesIdentical, feed(z, series({14, 6, NaN, 10})), series({2.0, -2.0, NaN, 0.0}));
  // Subtraction first: (0.3 - 0.1) / 0.1 differs from 0.3 / 0.1 - 0.1 / 0.1.
  auto fine = FixedZScore::create({"x"}, {"z"}, 0.1, 0.1).value();
  EXPECT_EQ(fine.update(series({0.3})).at(0), (0.3 - 0.1) / 0.1);
  // A NaN std was let through: present inputs give a present NaN.
  auto nan_std = FixedZScore::create({"x"}, {"z"}, 0.0, NaN).value();
  EXPECT_PRED_FORMAT2(SeriesIdentical, feed(nan_std, series({3, NaN})), (Series{NaN, absent}));

  const auto copy = z.fresh();
  EXPECT_EQ(copy->output_names(), (Names{"z", "z2"}));
  EXPECT_EQ(copy->update(series({9})).size(), 1u);
  EXPECT_EQ(copy->update(series({9})).at(0), -0.5);
  EXPECT_EQ(z.warm_up_period(), 0u);
  EXPECT_THROW(z.update({}), InternalFailure);
}

TEST(RollingZScore, ScoresAgainstItsOwnWindow) {
  auto z = RollingZScore::create({"x"}, 3, {"z"}).value();
  EXPECT_EQ(z.warm_up_period(), 2u);
  EXPECT_PRED_FORMAT2(SeriesIdentical, feed(z, series({1, 2, 3, 4})), series({NaN, NaN, 1.0, 1.0}));
  // Window 2, 6, 1: mean 3, sample std √7, the newest value scored.
  EXPECT_EQ(feed(z, series({2, 6, 1})).back(), (1.0 - 3.0) / std::sqrt(7.0));
  // No scale, no score: a constant window (variance 0), or an infinite value
  // in the window (variance NaN).
  z.reset();
  EXPECT_PRED_FORMAT2(SeriesIdentical, feed(z, series({5, 5, 5, inf, 1, 2, 3})),
                      series({NaN, NaN, NaN, NaN, NaN, NaN, 1.0}));
}

TEST(RollingZScore, AbsentInputBlanksExactlyItsWindows) {
  std::vector<double> xs;
  for (int i = 0; i < 30; ++i) xs.push_back(50.0 + std::cos(i * 1.3) * 4.0);
  const std::size_t window = 3;
  auto clean_z = RollingZScore::create({"x"}, window, {"z"}).value();
  const Series clean = feed(clean_z, series(xs));
  for (std::size_t k : {0u, 2u, 11u, 29u}) {
    std::vector<double> gappy = xs;
    gappy[k] = NaN;
    Series expected = clean;
    for (std::size_t t = k; t < std::min(k + window, xs.size()); ++t) expected[t] = absent;
    auto z = RollingZScore::create({"x"}, window, {"z"}).value();
    EXPECT_PRED_FORMAT2(SeriesIdentical, feed(z, series(gappy)), expected) << "gap at " << k;
  }
}

TEST(RollingZScore, ResetFreshAndShortBarsLeaveNoTrace) {
  const Series second = series({2, 6, 5, 3, 5});
  auto pristine = RollingZScore::create({"x"}, 4, {"z"}).value();
  const Series expected = feed(pristine, second);

  auto z = RollingZScore::create({"x"}, 4, {"z"}).value();
  feed(z, series({3, 1, 4, 1, 5, 9}));
  EXPECT_PRED_FORMAT2(SeriesIdentical, feed(*z.fresh(), second), expected);
  // The source keeps its window 4, 1, 5, 9, also across a failed short bar.
  EXPECT_THROW(z.update({}), InternalFailure);
  EXPECT_EQ(z.update(series({9})).at(0), feed(pristine, series({1, 5, 9, 9})).back());
  z.reset();
  EXPECT_PRED_FORMAT2(SeriesIdentical, feed(z, second), expected);
}

TEST(RollingZScore, UpdateNeverAllocates) {
  auto z = RollingZScore::create({"x"}, 5, {"z"}).value();
  const Series xs = series({4, 8, 1, NaN, 3, 9, 2, 7, 7, 5, 6, 1, 8, 3, 2});
  std::size_t allocated = 0;
  {
    const testing::AllocationCounter allocations;
    for (const OptionalValue& x : xs) (void)z.update(std::span(&x, 1));
    z.reset();
    for (const OptionalValue& x : xs) (void)z.update(std::span(&x, 1));
    allocated = allocations.count();
  }
  EXPECT_EQ(allocated, 0u);
}

// pandas rolls its mean and variance with running sums, which drift by about
// 1e-11 on these prices (the core's values are within a few ulps of the
// exact rational result), hence the loose tolerance.
TEST(RollingZScore, MatchesPandasRollingMeanAndStd) {
  for (const char* file : {"spy_targets.csv", "gappy_targets.csv"}) {
    const auto table = testing::Table::read(testing::fixture_path(file));
    auto z = RollingZScore::create({"close"}, 20, {"z"}).value();
    EXPECT_TRUE(
        testing::SeriesNear(feed(z, series(table["close"])), series(table["rolling_zscore"]), 1e-10, 1e-10))
        << file;
  }
}

}  // namespace
}  // namespace vexal
