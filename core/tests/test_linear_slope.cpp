#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "features/linear_slope.hpp"
#include "internal_failure.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::NaN;

struct Pair {
  OptionalValue slope;
  OptionalValue r2;
  friend bool operator==(const Pair&, const Pair&) = default;
};

std::vector<Pair> run_pairs(LinearSlope& t, const std::vector<double>& xs, const std::vector<double>& ys) {
  std::vector<Pair> out;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    const std::vector<OptionalValue> bar{testing::bar(xs[i]), testing::bar(ys[i])};
    const UpdateResult r = t.update(bar);
    EXPECT_EQ(r.size(), 2u);
    out.push_back({r[0], r[1]});
  }
  return out;
}

constexpr Pair none{std::nullopt, std::nullopt};

struct FitCase {
  const char* name;
  std::vector<double> x;
  std::vector<double> y;
  Pair last;
};

class LinearSlopeFit : public ::testing::TestWithParam<FitCase> {};

TEST_P(LinearSlopeFit, GivesSlopeAndR2OfTheFullWindow) {
  const FitCase& c = GetParam();
  auto fit = LinearSlope::create({"x", "y"}, 3, {"slope", "r2"}).value();
  const std::vector<Pair> out = run_pairs(fit, c.x, c.y);
  EXPECT_EQ(out[0], none);
  EXPECT_EQ(out[1], none);
  EXPECT_EQ(out[2], c.last);
}

INSTANTIATE_TEST_SUITE_P(Windows, LinearSlopeFit,
                         ::testing::Values(FitCase{"exact_line", {1, 2, 3}, {2, 4, 6}, {2.0, 1.0}},
                                           FitCase{"noisy", {1, 2, 3}, {1, 3, 2}, {0.5, 0.25}},
                                           FitCase{"constant_y", {1, 2, 3}, {5, 5, 5}, {0.0, std::nullopt}},
                                           FitCase{"constant_x", {4, 4, 4}, {1, 7, 3}, none},
                                           FitCase{"absent_x", {1, NaN, 3}, {1, 2, 3}, none},
                                           FitCase{"absent_y", {1, 2, 3}, {1, NaN, 3}, none}),
                         [](const auto& info) { return std::string(info.param.name); });

// A NaN in either column spoils both outputs of the `window` bars whose
// windows hold it; afterwards the fit is back.
TEST(LinearSlope, AMissingValueSpoilsExactlyTheWindowsHoldingIt) {
  auto fit = LinearSlope::create({"x", "y"}, 2, {"slope", "r2"}).value();
  const std::vector<Pair> out = run_pairs(fit, {1, 2, 3, 4, 5}, {1, 3, NaN, 7, 9});
  EXPECT_EQ(out[1], (Pair{2.0, 1.0}));
  EXPECT_EQ(out[2], none);
  EXPECT_EQ(out[3], none);
  EXPECT_EQ(out[4], (Pair{2.0, 1.0}));
}

// The check comes before either buffer moves: a one-value bar must not leave
// an x without its y, which would pair every later x with the wrong y.
TEST(LinearSlope, AOneValueBarFailsWithoutDesynchronisingTheBuffers) {
  auto fit = LinearSlope::create({"x", "y"}, 2, {"slope", "r2"}).value();
  run_pairs(fit, {1}, {10});
  const OptionalValue lone = 2.0;
  EXPECT_THROW(fit.update(std::span(&lone, 1)), InternalFailure);
  EXPECT_EQ(run_pairs(fit, {2}, {12})[0], (Pair{2.0, 1.0}));
}

struct CreateCase {
  const char* name;
  Names inputs;
  std::size_t window;
  Names outputs;
  const char* message;
};

class LinearSlopeCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(LinearSlopeCreate, RejectsInOrder) {
  const CreateCase& c = GetParam();
  const auto made = LinearSlope::create(c.inputs, c.window, c.outputs);
  ASSERT_FALSE(made.has_value());
  EXPECT_EQ(made.error().display(), std::string("Invalid input: ") + c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, LinearSlopeCreate,
    ::testing::Values(
        CreateCase{"one_input", {"x"}, 1, {}, "inputs must contain x and y columns"},
        CreateCase{"window_before_outputs", {"x", "y"}, 1, {"a"}, "window must be >= 2"},
        CreateCase{"one_output", {"x", "y"}, 2, {"a"}, "outputs must contain exactly 2 names: [slope, r2]"},
        CreateCase{"no_outputs", {"x", "y"}, 2, {}, "outputs must contain exactly 2 names: [slope, r2]"},
        CreateCase{"three_outputs",
                   {"x", "y"},
                   2,
                   {"a", "b", "c"},
                   "outputs must contain exactly 2 names: [slope, r2]"},
        CreateCase{"too_large", {"x", "y"}, std::size_t{1} << 60, {"a", "b"}, "window is too large"}),
    [](const auto& info) { return std::string(info.param.name); });

// numpy.polyfit (a least-squares solve) and corrcoef² over SPY close on open,
// window 20: different algorithms for the same fit, so they agree to rounding.
TEST(LinearSlope, MatchesNumpyOnRealPrices) {
  const auto table = testing::Table::read(testing::fixture_path("spy_reference.csv"));
  const auto bars = testing::bars_of({&table["open"], &table["close"]});
  auto fit = LinearSlope::create({"open", "close"}, 20, {"slope", "r2"}).value();
  double worst_slope = 0.0;
  double worst_r2 = 0.0;
  for (std::size_t t = 0; t < table.rows(); ++t) {
    const UpdateResult r = fit.update(bars[t]);
    ASSERT_EQ(r[0].has_value(), t >= 19) << t;
    ASSERT_EQ(r[1].has_value(), t >= 19) << t;
    if (t < 19) continue;
    worst_slope = std::max(worst_slope, std::fabs(*r[0] - table["slope"][t]) / std::fabs(table["slope"][t]));
    worst_r2 = std::max(worst_r2, std::fabs(*r[1] - table["r2"][t]));
  }
  EXPECT_LT(worst_slope, 1e-12);
  EXPECT_LT(worst_r2, 1e-13);
}

}  // namespace
}  // namespace vexal
