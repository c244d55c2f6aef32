#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <expected>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "internal_failure.hpp"
#include "series_support.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_drawdown.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_max.hpp"
#include "targets/future_min.hpp"
#include "targets/future_return.hpp"
#include "targets/meta_label.hpp"
#include "targets/triple_barrier.hpp"

namespace vexal {
namespace {

using testing::absent;
using testing::NaN;
using testing::series;
using testing::SeriesIdentical;
using testing::SeriesNear;

constexpr std::size_t huge = std::numeric_limits<std::size_t>::max();
const double ln2 = std::log(2.0);

std::string failure_of(const auto& made) { return made ? std::string("created") : made.error().display(); }

std::vector<Series> research(const Target& target, const std::vector<Series>& columns) {
  std::vector<ColumnView> views(columns.begin(), columns.end());
  return target.run_research(views);
}

struct Config {
  std::string made;
  const char* expected;
};

class TargetConfig : public ::testing::TestWithParam<Config> {};

TEST_P(TargetConfig, ChecksInOrder) { EXPECT_EQ(GetParam().made, GetParam().expected); }

std::string ret(Names inputs, std::size_t horizon, Names outputs) {
  return failure_of(FutureReturn::create(std::move(inputs), horizon, std::move(outputs)));
}
std::string vol(std::string input, std::size_t horizon) {
  return failure_of(FutureCTCVolatility::create(std::move(input), horizon));
}
std::string slope(Names inputs, std::size_t horizon, Names outputs) {
  return failure_of(FutureLinearSlope::create(std::move(inputs), horizon, std::move(outputs)));
}

constexpr const char* two_outputs = "Invalid input: outputs must contain exactly 2 names: [slope, r2]";
constexpr const char* empty_name = "Invalid input: input names must not be empty";

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetConfig,
    ::testing::Values(
        Config{ret({}, 0, {}), "Invalid input: inputs must not be empty"},
        Config{ret({"c"}, 0, {}), "Invalid input: horizon must be > 0"},
        Config{ret({"c"}, 1, {}), "Invalid input: outputs must not be empty"},
        Config{ret({"c"}, 1, {"r"}), "created"}, Config{vol("", 1), "Invalid input: input must not be empty"},
        Config{vol("close", 1),
               "Invalid input: horizon must be >= 2 (std_dev requires at least 2 log returns)"},
        Config{slope({"x"}, 0, {}), "Invalid input: inputs must contain x and y columns"},
        Config{slope({"x", ""}, 0, {}), empty_name}, Config{slope({"x", "y", ""}, 5, {"s", "r"}), empty_name},
        Config{slope({"x", "y"}, 1, {}), "Invalid input: horizon must be >= 2"},
        Config{slope({"x", "y"}, 2, {"s"}), two_outputs},
        Config{slope({"x", "y"}, 2, {"s", "r", "t"}), two_outputs},
        Config{slope({"x", "y", "z"}, 2, {"", ""}), "created"},
        Config{failure_of(FutureMax::create({"h"}, 0, {})),
               "Invalid input: inputs must contain exactly 2 names: [high, close]"},
        Config{failure_of(FutureMin::create({"l"}, 0, {})),
               "Invalid input: inputs must contain exactly 2 names: [low, close]"},
        Config{failure_of(FutureMin::create({"l", "c"}, 0, {})), "Invalid input: horizon must be > 0"},
        Config{failure_of(FutureMax::create({"h", "c"}, 1, {})), "Invalid input: outputs must not be empty"},
        Config{failure_of(FutureDrawdown::create({"c", "h"}, 0, {})),
               "Invalid input: inputs must contain exactly 1 name: [close]"},
        Config{failure_of(FutureDrawdown::create({"c"}, huge, {"d", "e"})), "created"}));

TEST(TargetNames, ReportTheirConfiguration) {
  const auto vol = FutureCTCVolatility::create("close", 20).value();
  EXPECT_EQ(vol.output_names(), (Names{"close_future_ctc_vol_20"}));
  EXPECT_EQ(vol.input_names(), (Names{"close"}));
  EXPECT_EQ(vol.forward_period(), 20u);
  EXPECT_EQ(vol.warm_up_period(), 0u);
  EXPECT_EQ(FutureCTCVolatility::create("px", huge)->output(), "px_future_ctc_vol_18446744073709551615");
  const auto slope = FutureLinearSlope::create({"x", "y"}, 3, {"s", "r2"}).value();
  EXPECT_EQ(slope.forward_period(), 3u);
  EXPECT_EQ(slope.output_names(), (Names{"s", "r2"}));
}

// ---- FutureReturn --------------------------------------------------------

struct ReturnCase {
  const char* name;
  Series close;
  std::size_t horizon;
  Series expected;
  friend void PrintTo(const ReturnCase& c, std::ostream* os) { *os << c.name; }
};

class FutureReturnLabels : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(FutureReturnLabels, SimpleReturnToTheCloseAhead) {
  const ReturnCase& c = GetParam();
  const auto target = FutureReturn::create({"close"}, c.horizon, {"r"}).value();
  const auto out = research(target, {c.close});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[0], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FutureReturnLabels,
    ::testing::Values(
        ReturnCase{"HorizonOne", series({100, 110, 99}), 1, series({(110.0 - 100.0) / 100.0, -0.1, NaN})},
        ReturnCase{"ZeroCloseHasNoLabel", series({100, 0, 121, 50}), 2, series({0.21, NaN, NaN, NaN})},
        ReturnCase{"FutureZeroIsMinusOne", series({100, 3, 0}), 2, series({-1.0, NaN, NaN})},
        ReturnCase{"FutureNegativeBelowMinusOne", series({100, -50}), 1, series({-1.5, NaN})},
        ReturnCase{"NegativeOrAbsentNow", series({-100, NaN, 5, 6}), 2, series({NaN, NaN, NaN, NaN})},
        ReturnCase{"PresentNaNNowIsAbsent", Series{NaN, 1.0}, 1, Series{absent, absent}},
        ReturnCase{"PresentNaNFutureFlows", Series{1.0, NaN}, 1, Series{NaN, absent}},
        ReturnCase{"HorizonOfLength", series({1, 2, 3}), 3, Series(3)},
        ReturnCase{"LargestHorizon", series({1, 2, 3}), huge, Series(3)}, ReturnCase{"Empty", {}, 1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FutureReturn, ReadsOnlyTheFirstColumn) {
  const auto target = FutureReturn::create({"a", "b"}, 1, {"r", "s"}).value();
  // The second column is shorter and would change nothing if it were read.
  const auto out = research(target, {series({2, 3, 4}), series({})});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[0], series({0.5, 1.0 / 3.0, NaN}));
  EXPECT_THROW((void)target.run_research({}), InternalFailure);
}

// Same operations in the same order as pandas: exact.
TEST(FutureReturn, MatchesPandasShift) {
  for (const char* file : {"spy_targets.csv", "gappy_targets.csv"}) {
    const auto table = testing::Table::read(testing::fixture_path(file));
    const auto target = FutureReturn::create({"close"}, 5, {"r"}).value();
    EXPECT_PRED_FORMAT2(SeriesIdentical, research(target, {series(table["close"])})[0],
                        series(table["future_return"]))
        << file;
  }
}

// ---- FutureCTCVolatility ---------------------------------------------------

TEST(FutureCTCVolatility, QuotedLabels) {
  const auto target = FutureCTCVolatility::create("close", 2).value();
  EXPECT_PRED_FORMAT2(SeriesIdentical, research(target, {series({1, 2, 4, 4})})[0],
                      series({0.0, ln2 / std::sqrt(2.0), NaN, NaN}));
  const auto empty = research(target, {Series{}});
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_TRUE(empty[0].empty());
  EXPECT_PRED_FORMAT2(SeriesIdentical,
                      research(*FutureCTCVolatility::create("c", huge), {series({1, 2, 3})})[0], Series(3));
  EXPECT_PRED_FORMAT2(SeriesIdentical, research(target, {series({1, 2})})[0], Series(2));
}

// Independent of the series tools: each label straight from its h + 1 closes.
Series direct_volatility(const Series& close, std::size_t h) {
  Series out(close.size());
  for (std::size_t t = 0; t + h < close.size(); ++t) {
    std::vector<double> returns;
    bool usable = true;
    for (std::size_t i = t; i <= t + h; ++i) usable = usable && close[i] && *close[i] > 0.0;
    if (!usable) continue;
    for (std::size_t i = t + 1; i <= t + h; ++i) returns.push_back(std::log(*close[i] / *close[i - 1]));
    double sum = 0.0;
    for (double r : returns) sum += r;
    const double mean = sum / static_cast<double>(h);
    double m2 = 0.0;
    for (double r : returns) m2 += (r - mean) * (r - mean);
    out[t] = std::sqrt(m2 / static_cast<double>(h - 1));
  }
  return out;
}

TEST(FutureCTCVolatility, UnusableCloseBlanksExactlyTheLabelsThatSeeIt) {
  std::vector<double> closes;
  for (int i = 0; i < 40; ++i) closes.push_back(100.0 * std::exp(0.01 * std::sin(i * 2.1) + 0.002 * i));
  const std::size_t h = 4;
  const auto target = FutureCTCVolatility::create("c", h).value();
  const Series clean = research(target, {series(closes)})[0];
  for (double bad : {NaN, 0.0, -3.0}) {
    for (std::size_t j : {0u, 2u, 20u, 39u}) {
      std::vector<double> gappy = closes;
      gappy[j] = bad;
      Series expected = clean;
      for (std::size_t t = j >= h ? j - h : 0; t <= j; ++t) expected[t] = absent;
      EXPECT_PRED_FORMAT2(SeriesIdentical, research(target, {series(gappy)})[0], expected)
          << "close " << bad << " at " << j;
    }
  }
}

TEST(FutureCTCVolatility, MatchesADirectComputationAndPandas) {
  for (const char* file : {"spy_targets.csv", "gappy_targets.csv"}) {
    const auto table = testing::Table::read(testing::fixture_path(file));
    const Series close = series(table["close"]);
    const auto target = FutureCTCVolatility::create("close", 20).value();
    const Series label = research(target, {close})[0];
    EXPECT_PRED_FORMAT2(SeriesIdentical, label, direct_volatility(close, 20)) << file;
    EXPECT_TRUE(SeriesNear(label, series(table["future_ctc_vol"]), 1e-12, 0.0)) << file;
  }
}

// ---- FutureLinearSlope -----------------------------------------------------

struct SlopeCase {
  const char* name;
  Series x;
  Series y;
  std::size_t horizon;
  Series slope;
  Series r2;
  friend void PrintTo(const SlopeCase& c, std::ostream* os) { *os << c.name; }
};

class FutureLinearSlopeLabels : public ::testing::TestWithParam<SlopeCase> {};

TEST_P(FutureLinearSlopeLabels, RegressesTheWindowStartingAtEachBar) {
  const SlopeCase& c = GetParam();
  const auto target = FutureLinearSlope::create({"x", "y"}, c.horizon, {"s", "r2"}).value();
  const auto out = research(target, {c.x, c.y});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[0], c.slope);
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[1], c.r2);
}

const Series x7 = series({0, 1, 2, 3, 4, 5, 6});
const Series y7 = series({1, 3, 2, 5, 4, 6, 9});

INSTANTIATE_TEST_SUITE_P(
    Cases, FutureLinearSlopeLabels,
    ::testing::Values(SlopeCase{"Line", series({0, 1, 2, 3}), series({1, 3, 5, 7}), 2, series({2, 2, 2, NaN}),
                                series({1, 1, 1, NaN})},
                      SlopeCase{"NoFit", series({0, 1, 2}), series({1, 2, 1}), 3, series({0, NaN, NaN}),
                                series({0, NaN, NaN})},
                      // Windows y = (1, 3, 2) and (3, 2, 7): Sxx 2, Sxy 1 and 4, Syy 2 and 14.
                      SlopeCase{"Noisy", series({0, 1, 2, 3}), series({1, 3, 2, 7}), 3,
                                series({0.5, 2.0, NaN, NaN}), series({0.25, 16.0 / 28.0, NaN, NaN})},
                      SlopeCase{"ConstantY", series({0, 1, 2, 3}), series({4, 4, 4, 7}), 3,
                                series({0, 1.5, NaN, NaN}), series({NaN, 0.75, NaN, NaN})},
                      SlopeCase{"ConstantX", series({2, 2, 2, 5}), series({1, 2, 3, 4}), 3,
                                series({NaN, 0.5, NaN, NaN}), series({NaN, 0.75, NaN, NaN})},
                      SlopeCase{"HorizonLongerThanX", series({0, 1}), series({0, 1}), 3, Series(2),
                                Series(2)},
                      SlopeCase{"LargestHorizon", series({0, 1}), series({0, 1}), huge, Series(2), Series(2)},
                      SlopeCase{"EmptyX", {}, series({1, 2, 3}), 2, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FutureLinearSlope, AbsentValueBlanksTheWindowsHoldingIt) {
  const auto target = FutureLinearSlope::create({"x", "y"}, 3, {"s", "r2"}).value();
  const auto clean = research(target, {x7, y7});
  Series gappy_y = y7;
  gappy_y[5] = absent;
  Series gappy_x = x7;
  gappy_x[5] = absent;
  for (const auto& out : {research(target, {x7, gappy_y}), research(target, {gappy_x, y7})}) {
    for (std::size_t k = 0; k < 2; ++k) {
      Series expected = clean[k];
      for (std::size_t t = 3; t <= 5; ++t) expected[t] = absent;
      EXPECT_PRED_FORMAT2(SeriesIdentical, out[k], expected);
    }
  }
}

TEST(FutureLinearSlope, ShorterYLeavesTheWindowsPastItsEndAbsent) {
  const auto target = FutureLinearSlope::create({"x", "y"}, 3, {"s", "r2"}).value();
  const auto full = research(target, {x7, y7});
  // y is a view of the first 5 values of a longer buffer: reading past its
  // end would find plausible numbers there and give present labels.
  const ColumnView short_y(y7.data(), 5);
  const std::vector<ColumnView> views = {x7, short_y};
  const auto out = target.run_research(views);
  ASSERT_EQ(out.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    ASSERT_EQ(out[k].size(), x7.size());
    Series expected = full[k];
    for (std::size_t t = 3; t < x7.size(); ++t) expected[t] = absent;
    EXPECT_PRED_FORMAT2(SeriesIdentical, out[k], expected);
  }
}

TEST(FutureLinearSlope, LongerYAndExtraColumnsAreIgnored) {
  const auto target = FutureLinearSlope::create({"x", "y", "z"}, 3, {"s", "r2"}).value();
  const Series x5(x7.begin(), x7.begin() + 5);
  const Series y5(y7.begin(), y7.begin() + 5);
  const auto expected = research(target, {x5, y5, {}});
  const auto out = research(target, {x5, y7, series({NaN})});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[0], expected[0]);
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[1], expected[1]);
  EXPECT_EQ(out[0].size(), 5u);
  EXPECT_THROW((void)target.run_research(std::vector<ColumnView>{x5}), InternalFailure);
}

// numpy solves each window by SVD, so the agreement is to rounding only; R²
// is compared absolutely since it is 1 - SS_res / SS_tot there.
TEST(FutureLinearSlope, MatchesNumpyLeastSquares) {
  for (const char* file : {"spy_targets.csv", "gappy_targets.csv"}) {
    const auto table = testing::Table::read(testing::fixture_path(file));
    const auto target = FutureLinearSlope::create({"x", "close"}, 10, {"s", "r2"}).value();
    const auto out = research(target, {series(table["x"]), series(table["close"])});
    EXPECT_TRUE(SeriesNear(out[0], series(table["future_slope"]), 1e-12, 1e-12)) << file;
    EXPECT_TRUE(SeriesNear(out[1], series(table["future_r2"]), 0.0, 1e-12)) << file;
  }
}

// ---- FutureMax, FutureMin, FutureDrawdown ---------------------------------------

struct ExcursionCase {
  const char* name;
  std::function<std::expected<std::vector<Series>, VexalError>(const std::vector<Series>&)> label;
  std::vector<Series> columns;
  Series expected;
  friend void PrintTo(const ExcursionCase& c, std::ostream* os) { *os << c.name; }
};

template <class T>
auto labelled(Names inputs, std::size_t horizon) {
  return [=](const std::vector<Series>& columns) -> std::expected<std::vector<Series>, VexalError> {
    const auto target = T::create(inputs, horizon, {"o"});
    if (!target) return std::unexpected(target.error());
    EXPECT_EQ(target->forward_period(), horizon);
    return research(*target, columns);
  };
}

class ExcursionLabels : public ::testing::TestWithParam<ExcursionCase> {};

TEST_P(ExcursionLabels, FromEachBarsCloseOverTheBarsAhead) {
  const ExcursionCase& c = GetParam();
  const auto out = c.label(c.columns);
  ASSERT_TRUE(out) << out.error().display();
  ASSERT_EQ(out->size(), 1u);
  EXPECT_PRED_FORMAT2(SeriesIdentical, (*out)[0], c.expected);
}

const Series highs = series({10, 12, 11, 15, 9});
const Series lows = series({9, 8, 10, 7, 8});
const Series closes = series({10, 11, 10, 14, 8});
const Series path = series({10, 12, 9, 11, 6, 7});

INSTANTIATE_TEST_SUITE_P(
    Cases, ExcursionLabels,
    ::testing::Values(
        // Highs 12, 11 ahead of close 10; 11, 15 ahead of 11; 15, 9 ahead of 10.
        ExcursionCase{"Max",
                      labelled<FutureMax>({"h", "c"}, 2),
                      {highs, closes},
                      series({12.0 / 10.0 - 1.0, 15.0 / 11.0 - 1.0, 15.0 / 10.0 - 1.0, NaN, NaN})},
        ExcursionCase{"Min",
                      labelled<FutureMin>({"l", "c"}, 2),
                      {lows, closes},
                      series({8.0 / 10.0 - 1.0, 7.0 / 11.0 - 1.0, 7.0 / 10.0 - 1.0, NaN, NaN})},
        // The bar's own high does not count; a close at or below 0 starts nothing.
        ExcursionCase{"MaxStartsAfterTheBar",
                      labelled<FutureMax>({"h", "c"}, 1),
                      {series({50, 2, 3, 4}), series({1, 0, -2, 5})},
                      series({1.0, NaN, NaN, NaN})},
        ExcursionCase{"AbsentHighAhead",
                      labelled<FutureMax>({"h", "c"}, 2),
                      {series({1, NaN, 3, 4, 5}), series({1, 1, 1, 1, 1})},
                      series({NaN, 3.0, 4.0, NaN, NaN})},
        ExcursionCase{"PresentNaNLowFlows",
                      labelled<FutureMin>({"l", "c"}, 1),
                      {Series{1.0, NaN, 2.0}, series({1, 1, 1})},
                      Series{NaN, 1.0, absent}},
        ExcursionCase{"AbsentCloseNow",
                      labelled<FutureMin>({"l", "c"}, 1),
                      {series({1, 2, 3}), series({NaN, 1, 1})},
                      series({NaN, 2.0, NaN})},
        // Peaks 10, 12, 12, 12 under 10, 12, 9, 11; then 12, 12, 12, 12 under 12, 9, 11, 6; then 9, 11,
        // 11, 11.
        ExcursionCase{"Drawdown",
                      labelled<FutureDrawdown>({"c"}, 3),
                      {path},
                      series({9.0 / 12.0 - 1.0, 6.0 / 12.0 - 1.0, 6.0 / 11.0 - 1.0, NaN, NaN, NaN})},
        ExcursionCase{"RisingPathIsZero",
                      labelled<FutureDrawdown>({"c"}, 2),
                      {series({1, 2, 3})},
                      series({0, NaN, NaN})},
        // A negative close falls furthest from the lowest peak, the start: -1 / 2 - 1, not -1 / 4 - 1.
        ExcursionCase{"NegativeCloseOnThePath",
                      labelled<FutureDrawdown>({"c"}, 2),
                      {series({2, 4, -1})},
                      series({-1.5, NaN, NaN})},
        ExcursionCase{"DrawdownGaps",
                      labelled<FutureDrawdown>({"c"}, 1),
                      {series({10, NaN, 12, 8, -1, 3})},
                      series({NaN, NaN, 8.0 / 12.0 - 1.0, -1.0 / 8.0 - 1.0, NaN, NaN})},
        ExcursionCase{"PresentNaNOnThePath",
                      labelled<FutureDrawdown>({"c"}, 1),
                      {Series{1.0, NaN, 2.0}},
                      Series{NaN, absent, absent}},
        ExcursionCase{"HorizonOfLength", labelled<FutureMax>({"h", "c"}, 5), {highs, closes}, Series(5)},
        ExcursionCase{"LargestHorizon", labelled<FutureDrawdown>({"c"}, huge), {path}, Series(6)},
        ExcursionCase{"Empty", labelled<FutureMin>({"l", "c"}, 1), {{}, {}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- TripleBarrier and MetaLabel ---------------------------------------------

std::string barrier(std::size_t horizon, std::optional<double> upper, std::optional<double> lower,
                    Names inputs = {"c", "s"}, Names outputs = {"l", "r", "b"}) {
  return failure_of(TripleBarrier::create(std::move(inputs), horizon, std::move(outputs), upper, lower));
}

TEST(TripleBarrier, RefusesItsConfigurationInOrder) {
  EXPECT_EQ(barrier(1, 1.0, 1.0, {"c"}),
            "Invalid input: inputs must contain exactly 2 names: [close, scale]");
  EXPECT_EQ(barrier(1, 1.0, 1.0, {"c", ""}), empty_name);
  EXPECT_EQ(barrier(0, 1.0, 1.0), "Invalid input: horizon must be > 0");
  EXPECT_EQ(barrier(1, 1.0, 1.0, {"c", "s"}, {"l"}),
            "Invalid input: outputs must contain exactly 3 names: [label, ret, bars]");
  EXPECT_EQ(barrier(1, 0.0, 1.0), "Invalid input: upper must be > 0, or None for no upper barrier");
  EXPECT_EQ(barrier(1, 1.0, NaN), "Invalid input: lower must be > 0, or None for no lower barrier");
  EXPECT_EQ(barrier(huge, std::nullopt, std::nullopt), "created");
  EXPECT_EQ(failure_of(MetaLabel::create({"l"}, {"m"})),
            "Invalid input: inputs must contain exactly 2 names: [label, side]");
  EXPECT_EQ(failure_of(MetaLabel::create({"l", "s"}, {})),
            "Invalid input: outputs must contain exactly 1 name: [meta]");
}

TEST(TripleBarrier, FirstTouchVerticalBarrierAndTheEnd) {
  const auto target = TripleBarrier::create({"c", "s"}, 2, {"l", "r", "b"}, 0.1, 0.1).value();
  // Bar 0 stays inside (90, 110) to its vertical barrier; bar 1 falls below 103.95 at once, bar 4 rises above
  // 100.5; bar 2's walk meets a gap; bar 5 reaches the end untouched; a zero scale labels nothing.
  const auto out = research(
      target, {series({100, 105, 94.5, NaN, 100, 104, 103}), series({1, 0.1, 0.1, 0.1, 0.05, 0.1, 0})});
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[0], series({0, -1, NaN, NaN, 1, NaN, NaN}));
  EXPECT_PRED_FORMAT2(
      SeriesIdentical, out[1],
      series({94.5 / 100.0 - 1.0, 94.5 / 105.0 - 1.0, NaN, NaN, 104.0 / 100.0 - 1.0, NaN, NaN}));
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[2], series({2, 1, NaN, NaN, 1, NaN, NaN}));
}

TEST(TripleBarrier, SlicesOfTheDataGiveTheWholeRunsLabels) {
  const Series close = series({10, 11, 9, 12, 8, 13, NaN, 7, 14, 6, 15, 5});
  const Series scale(close.size(), 0.2);
  for (const std::size_t horizon : {std::size_t{1}, std::size_t{3}, huge}) {
    const auto target =
        TripleBarrier::create({"c", "s"}, horizon, {"l", "r", "b"}, 0.15, std::nullopt).value();
    const auto whole = research(target, {close, scale});
    std::vector<ColumnBuffer> in(2, ColumnBuffer(close.size())), out(3, ColumnBuffer(close.size()));
    for (std::size_t i = 0; i < close.size(); ++i) {
      in[0].out().set(i, close[i]);
      in[1].out().set(i, scale[i]);
    }
    // Rows 4..7, read from row 2 to the end.
    const ColumnIn from[] = {{in[0].in().values + 2, in[0].in().valid + 2},
                             {in[1].in().values + 2, in[1].in().valid + 2}};
    const ColumnOut to[] = {out[0].out(), out[1].out(), out[2].out()};
    target.run_research_into(from, close.size() - 2, 2, to, 4);
    for (std::size_t k = 0; k < 3; ++k) {
      for (std::size_t t = 0; t < 4; ++t) EXPECT_EQ(to[k].in().at(t), whole[k][4 + t]) << horizon << " " << k;
    }
  }
}

TEST(MetaLabel, SideAgainstLabel) {
  const auto target = MetaLabel::create({"l", "s"}, {"m"}).value();
  const auto out =
      research(target, {series({1, 1, -1, -1, 0, 0, NaN, 1, 1}), series({2, -0.5, -3, 1, 1, -1, 1, NaN, 0})});
  EXPECT_PRED_FORMAT2(SeriesIdentical, out[0], series({1, 0, 1, 0, 0, 0, NaN, NaN, NaN}));
  EXPECT_EQ(target.forward_period(), 0u);
}

}  // namespace
}  // namespace vexal
