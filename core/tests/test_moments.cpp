#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "features/kurtosis.hpp"
#include "features/skewness.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::NaN;

TEST(Skewness, MatchesTheQuotedValues) {
  auto skew = Skewness::create({"c"}, 3, {"s"}).value();
  EXPECT_EQ(run(skew, {1, 2, 4}), (Series{std::nullopt, std::nullopt, 0.9352195295828235}));
  skew.reset();
  EXPECT_EQ(run(skew, {1, 2, 3})[2], 0.0);
}

TEST(Kurtosis, MatchesTheQuotedValues) {
  auto kurt = Kurtosis::create({"c"}, 4, {"k"}).value();
  const Series out = run(kurt, {1, 2, 3, 4});
  EXPECT_EQ(out[0], std::nullopt);
  EXPECT_EQ(out[2], std::nullopt);
  EXPECT_NEAR(*out[3], -1.2, 1e-12);
  kurt.reset();
  EXPECT_NEAR(*run(kurt, {1, 2, 3, 10})[3], 3.228, 1e-12);
}

TEST(Moments, AConstantWindowHasNoShape) {
  auto skew = Skewness::create({"c"}, 3, {"s"}).value();
  auto kurt = Kurtosis::create({"c"}, 4, {"k"}).value();
  EXPECT_EQ(run(skew, {5, 5, 5, 5})[3], std::nullopt);
  EXPECT_EQ(run(kurt, {5, 5, 5, 5, 5})[4], std::nullopt);
  // Once the window moves past the constant run the statistic returns.
  EXPECT_TRUE(run(skew, {6})[0].has_value());
}

// Infinities are not screened: the variance becomes NaN, which is not zero,
// so a present NaN comes out rather than an absent value.
TEST(Moments, AnInfiniteValueFlowsIntoAPresentNaN) {
  auto skew = Skewness::create({"c"}, 3, {"s"}).value();
  const OptionalValue out = run(skew, {1, 2, std::numeric_limits<double>::infinity()})[2];
  ASSERT_TRUE(out.has_value());
  EXPECT_TRUE(std::isnan(*out));
}

// A NaN at bar k spoils outputs k .. k + window - 1 and nothing else: every
// window is evaluated from scratch, so later values equal those of a run that
// never saw the NaN.
TEST(Moments, AMissingValueSpoilsExactlyTheWindowsHoldingIt) {
  const std::vector<double> xs{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7};
  constexpr std::size_t k = 5;
  constexpr std::size_t window = 4;
  auto clean = Kurtosis::create({"c"}, window, {"k"}).value();
  auto gappy = Kurtosis::create({"c"}, window, {"k"}).value();
  for (std::size_t t = 0; t < xs.size(); ++t) {
    const OptionalValue x = xs[t];
    const OptionalValue gap = t == k ? std::nullopt : x;
    const OptionalValue expected = clean.update(std::span(&x, 1))[0];
    const OptionalValue got = gappy.update(std::span(&gap, 1))[0];
    if (t >= k && t < k + window) {
      EXPECT_EQ(got, std::nullopt) << t;
    } else {
      EXPECT_TRUE(testing::same_value(got, expected)) << t;
    }
  }
}

struct CreateCase {
  const char* name;
  Names inputs;
  std::size_t window;
  Names outputs;
  const char* skewness;
  const char* kurtosis;
};

class MomentCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(MomentCreate, RejectsInOrder) {
  const CreateCase& c = GetParam();
  const auto skew = Skewness::create(c.inputs, c.window, c.outputs);
  const auto kurt = Kurtosis::create(c.inputs, c.window, c.outputs);
  if (c.skewness) {
    ASSERT_FALSE(skew.has_value());
    EXPECT_EQ(skew.error().display(), std::string("Invalid input: ") + c.skewness);
  } else {
    EXPECT_TRUE(skew.has_value());
  }
  ASSERT_FALSE(kurt.has_value());
  EXPECT_EQ(kurt.error().display(), std::string("Invalid input: ") + c.kurtosis);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, MomentCreate,
    ::testing::Values(
        CreateCase{"inputs_first", {}, 0, {}, "inputs must not be empty", "inputs must not be empty"},
        CreateCase{
            "outputs_before_window", {"c"}, 0, {}, "outputs must not be empty", "outputs must not be empty"},
        CreateCase{"window_two", {"c"}, 2, {"s"}, "window must be >= 3", "window must be >= 4"},
        CreateCase{"window_three", {"c"}, 3, {"s"}, nullptr, "window must be >= 4"},
        CreateCase{
            "too_large", {"c"}, std::size_t{1} << 60, {"s"}, "window is too large", "window is too large"}),
    [](const auto& info) { return std::string(info.param.name); });

// scipy.stats.skew / kurtosis with bias=False over the first 2,000 SPY
// closes, window 20. scipy forms the central moments with divisor n and
// corrects afterwards, numpy sums pairwise: the same statistic by a
// different road, so the agreement is to rounding, not to the bit.
TEST(Moments, MatchScipyOnRealCloses) {
  const auto table = testing::Table::read(testing::fixture_path("spy_reference.csv"));
  const auto bars = testing::bars_of({&table["close"]});
  auto skew = Skewness::create({"close"}, 20, {"s"}).value();
  auto kurt = Kurtosis::create({"close"}, 20, {"k"}).value();
  const Series skew_out = testing::run_bars(skew, bars);
  const Series kurt_out = testing::run_bars(kurt, bars);
  double worst_skew = 0.0;
  double worst_kurt = 0.0;
  for (std::size_t t = 0; t < table.rows(); ++t) {
    ASSERT_EQ(skew_out[t].has_value(), t >= 19) << t;
    ASSERT_EQ(kurt_out[t].has_value(), t >= 19) << t;
    if (t < 19) continue;
    worst_skew = std::max(worst_skew, std::fabs(*skew_out[t] - table["skewness"][t]));
    worst_kurt = std::max(worst_kurt, std::fabs(*kurt_out[t] - table["kurtosis"][t]));
  }
  EXPECT_LT(worst_skew, 1e-12);
  EXPECT_LT(worst_kurt, 1e-12);
}

}  // namespace
}  // namespace vexal
