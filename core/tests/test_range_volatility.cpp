#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "features/parkinson_volatility.hpp"
#include "features/rogers_satchell_volatility.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::NaN;

Series feed(StreamingTransform& t, const std::vector<std::vector<double>>& bars) {
  Series out;
  for (const auto& b : bars) {
    std::vector<OptionalValue> values;
    for (double x : b) values.push_back(testing::bar(x));
    out.push_back(t.update(values).at(0));
  }
  return out;
}

TEST(ParkinsonVolatility, MatchesTheQuotedValue) {
  auto park = ParkinsonVolatility::create({"high", "low"}, 2, {"p"}).value();
  EXPECT_EQ(feed(park, {{11, 10}, {12, 10}}), (Series{std::nullopt, 0.08736584568234082}));
}

TEST(RogersSatchellVolatility, MatchesTheQuotedValues) {
  auto rs = RogersSatchellVolatility::create({"high", "low", "open", "close"}, 1, {"rs"}).value();
  EXPECT_EQ(feed(rs, {{12, 9, 10, 11}, {10, 10, 10, 10}}), (Series{0.1923715614711328, 0.0}));
}

struct BarCase {
  const char* name;
  std::vector<double> bar;  // high, low, open, close
  bool parkinson_valid;
  bool rogers_satchell_valid;
};

class RangeBarValidity : public ::testing::TestWithParam<BarCase> {};

TEST_P(RangeBarValidity, InvalidBarsGiveAbsentResults) {
  const BarCase& c = GetParam();
  auto park = ParkinsonVolatility::create({"high", "low"}, 1, {"p"}).value();
  auto rs = RogersSatchellVolatility::create({"high", "low", "open", "close"}, 1, {"rs"}).value();
  EXPECT_EQ(feed(park, {c.bar})[0].has_value(), c.parkinson_valid);
  EXPECT_EQ(feed(rs, {c.bar})[0].has_value(), c.rogers_satchell_valid);
}

INSTANTIATE_TEST_SUITE_P(Bars, RangeBarValidity,
                         ::testing::Values(BarCase{"normal", {12, 9, 10, 11}, true, true},
                                           BarCase{"high_below_low", {9, 12, 10, 11}, false, false},
                                           BarCase{"zero_low", {12, 0, 10, 11}, false, false},
                                           BarCase{"negative_high", {-1, -2, 10, 11}, false, false},
                                           BarCase{"absent_high", {NaN, 9, 10, 11}, false, false},
                                           BarCase{"absent_low", {12, NaN, 10, 11}, false, false},
                                           BarCase{"zero_open", {12, 9, 0, 11}, true, false},
                                           BarCase{"zero_close", {12, 9, 10, 0}, true, false},
                                           BarCase{"absent_close", {12, 9, 10, NaN}, true, false},
                                           // Open above the high: a negative term, so no volatility.
                                           BarCase{"open_outside_range", {10, 10, 12, 8}, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParkinsonVolatility, ZeroRangeBarsGiveZero) {
  auto park = ParkinsonVolatility::create({"high", "low"}, 3, {"p"}).value();
  EXPECT_EQ(feed(park, {{5, 5}, {7, 7}, {9, 9}})[2], 0.0);
}

// One invalid bar spoils the `window` outputs whose windows hold it; every
// window is summed from scratch, so afterwards the values are exactly those
// of a fresh estimator fed only the later bars.
TEST(RangeVolatility, AnInvalidBarSpoilsExactlyTheWindowsHoldingIt) {
  auto park = ParkinsonVolatility::create({"high", "low"}, 2, {"p"}).value();
  const Series out = feed(park, {{11, 10}, {12, 10}, {9, 10}, {13, 12}, {14, 12}, {15, 13}});
  auto clean = ParkinsonVolatility::create({"high", "low"}, 2, {"p"}).value();
  const Series tail = feed(clean, {{13, 12}, {14, 12}, {15, 13}});
  EXPECT_TRUE(out[1].has_value());
  EXPECT_EQ(out[2], std::nullopt);
  EXPECT_EQ(out[3], std::nullopt);
  EXPECT_EQ(out[4], tail[1]);
  EXPECT_EQ(out[5], tail[2]);
}

// A negative mean gives no result, but one negative term in a window whose
// mean stays positive is kept.
TEST(RogersSatchellVolatility, ANegativeTermIsAveragedNotDropped) {
  auto rs = RogersSatchellVolatility::create({"h", "l", "o", "c"}, 2, {"rs"}).value();
  // The second bar opens above its high.
  const Series out = feed(rs, {{12, 9, 10, 11}, {10, 10, 10.5, 9.8}});
  const double first = std::log(9.0 / 10) * std::log(9.0 / 11) + std::log(12.0 / 10) * std::log(12.0 / 11);
  const double second =
      std::log(10.0 / 10.5) * std::log(10.0 / 9.8) + std::log(10.0 / 10.5) * std::log(10.0 / 9.8);
  ASSERT_LT(second, 0.0);
  EXPECT_EQ(out[1], std::sqrt((0.0 + first + second) / 2.0));
}

struct CreateCase {
  const char* name;
  std::size_t inputs;
  std::size_t window;
  std::size_t outputs;
  const char* message;
};

Names names(std::size_t n) {
  Names out;
  for (std::size_t i = 0; i < n; ++i) out.push_back("c" + std::to_string(i));
  return out;
}

class ParkinsonCreate : public ::testing::TestWithParam<CreateCase> {};
class RogersSatchellCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(ParkinsonCreate, RejectsInOrder) {
  const CreateCase& c = GetParam();
  const auto made = ParkinsonVolatility::create(names(c.inputs), c.window, names(c.outputs));
  ASSERT_FALSE(made.has_value());
  EXPECT_EQ(made.error().display(), std::string("Invalid input: ") + c.message);
}

TEST_P(RogersSatchellCreate, RejectsInOrder) {
  const CreateCase& c = GetParam();
  const auto made = RogersSatchellVolatility::create(names(c.inputs), c.window, names(c.outputs));
  ASSERT_FALSE(made.has_value());
  EXPECT_EQ(made.error().display(), std::string("Invalid input: ") + c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, ParkinsonCreate,
    ::testing::Values(CreateCase{"one_input", 1, 0, 0, "inputs must contain high and low columns"},
                      CreateCase{"outputs_before_window", 2, 0, 0, "outputs must not be empty"},
                      CreateCase{"zero_window", 2, 0, 1, "window must be non-zero"},
                      CreateCase{"too_large", 2, std::size_t{1} << 60, 1, "window is too large"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Configs, RogersSatchellCreate,
    ::testing::Values(CreateCase{"three_inputs", 3, 0, 0,
                                 "inputs must contain high, low, open, and close columns"},
                      CreateCase{"window_before_outputs", 4, 0, 0, "window must be non-zero"},
                      CreateCase{"no_outputs", 4, 1, 0, "outputs must not be empty"},
                      CreateCase{"too_large", 4, std::size_t{1} << 60, 1, "window is too large"}),
    [](const auto& info) { return std::string(info.param.name); });

// numpy over the first 2,000 SPY bars, window 20. The per-bar terms are the
// same operations; np.mean sums in a different order, so the agreement is to
// a few ulps.
TEST(RangeVolatility, MatchesNumpyOnRealBars) {
  const auto table = testing::Table::read(testing::fixture_path("spy_reference.csv"));
  const auto bars = testing::bars_of({&table["high"], &table["low"], &table["open"], &table["close"]});
  auto park = ParkinsonVolatility::create({"high", "low"}, 20, {"p"}).value();
  auto rs = RogersSatchellVolatility::create({"high", "low", "open", "close"}, 20, {"rs"}).value();
  const Series park_out = testing::run_bars(park, bars);
  const Series rs_out = testing::run_bars(rs, bars);
  std::uint64_t worst = 0;
  for (std::size_t t = 0; t < table.rows(); ++t) {
    ASSERT_EQ(park_out[t].has_value(), t >= 19) << t;
    ASSERT_EQ(rs_out[t].has_value(), t >= 19) << t;
    if (t < 19) continue;
    worst = std::max(worst, testing::ulp_distance(*park_out[t], table["parkinson"][t]));
    worst = std::max(worst, testing::ulp_distance(*rs_out[t], table["rogers_satchell"][t]));
  }
  EXPECT_LE(worst, 4u);
}

}  // namespace
}  // namespace vexal
