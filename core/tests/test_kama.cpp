#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "features/kama.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::NaN;

// The squared smoothing constant for efficiency ratio er, default periods.
double sc(double er) {
  const double c = (2.0 / 3.0 - 2.0 / 31.0) * er + 2.0 / 31.0;
  return c * c;
}

TEST(Kama, MatchesTheQuotedValues) {
  auto kama = Kama::create({"close"}, 2, {"kama"}).value();
  // er = 1 on a straight rise, so sc = (2/3)² and the seed is the previous
  // bar's 11; the fourth bar smooths from the previous average.
  EXPECT_EQ(run(kama, {10, 11, 12, 12}),
            (Series{std::nullopt, std::nullopt, 11.444444444444445, 11.691358024691358}));
}

TEST(Kama, SmoothingConstantsComeFromTheFastAndSlowPeriods) {
  const auto defaults = Kama::create({"c"}, 10, {"k"}).value();
  EXPECT_EQ(defaults.fast_constant(), 2.0 / 3.0);
  EXPECT_EQ(defaults.slow_constant(), 2.0 / 31.0);
  EXPECT_EQ(defaults.window(), 10u);
  EXPECT_EQ(defaults.warm_up_period(), 10u);
  const auto custom = Kama::create({"c"}, 10, {"k"}, 4, 50).value();
  EXPECT_EQ(custom.fast_constant(), 2.0 / 5.0);
  EXPECT_EQ(custom.slow_constant(), 2.0 / 51.0);
}

TEST(Kama, AFlatWindowSmoothsWithTheSlowConstant) {
  // With er = 1 the constant is (fast - slow) + slow, which need not round
  // back to the fast constant itself.
  const double fast = sc(1.0);
  const double slow = sc(0.0);
  auto kama = Kama::create({"c"}, 2, {"k"}).value();
  const Series out = run(kama, {6, 9, 6, 6, 6});
  // 6, 9, 6: no net move (er 0), seeded from the previous price 9.
  const double first = (6.0 - 9.0) * slow + 9.0;
  // 9, 6, 6: a straight move (er 1).
  const double second = (6.0 - first) * fast + first;
  // 6, 6, 6: flat, no volatility at all, so er is 0 rather than 0 / 0.
  const double third = (6.0 - second) * slow + second;
  EXPECT_EQ(out, (Series{std::nullopt, std::nullopt, first, second, third}));

  auto settled = Kama::create({"c"}, 2, {"k"}).value();
  EXPECT_EQ(run(settled, {5, 5, 5, 5})[3], 5.0);
}

TEST(Kama, WindowOneSeedsFromThePreviousPrice) {
  auto kama = Kama::create({"c"}, 1, {"k"}).value();
  const Series out = run(kama, {4, 7, 7});
  const double first = (7.0 - 4.0) * sc(1.0) + 4.0;
  EXPECT_EQ(out[0], std::nullopt);
  EXPECT_EQ(out[1], first);
  EXPECT_EQ(out[2], (7.0 - first) * sc(0.0) + first);
}

// A missing price spoils the window + 1 outputs that hold it and drops the
// running average; the first complete window afterwards seeds afresh, so it
// equals what a new instance that saw only those window + 1 prices gives.
TEST(Kama, AMissingPriceReseedsAfterItLeavesTheWindow) {
  auto kama = Kama::create({"c"}, 2, {"k"}).value();
  const Series out = run(kama, {10, 11, 12, 13, NaN, 14, 16, 15, 17});
  for (std::size_t t = 4; t <= 6; ++t) EXPECT_EQ(out[t], std::nullopt) << t;
  auto fresh = Kama::create({"c"}, 2, {"k"}).value();
  const Series reseeded = run(fresh, {14, 16, 15, 17});
  EXPECT_EQ(out[7], reseeded[2]);
  EXPECT_EQ(out[8], reseeded[3]);
}

struct CreateCase {
  const char* name;
  Names inputs;
  std::size_t window;
  Names outputs;
  std::size_t fast;
  std::size_t slow;
  const char* message;
};

class KamaCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(KamaCreate, RejectsInOrder) {
  const CreateCase& c = GetParam();
  const auto made = Kama::create(c.inputs, c.window, c.outputs, c.fast, c.slow);
  ASSERT_FALSE(made.has_value());
  EXPECT_EQ(made.error().display(), std::string("Invalid input: ") + c.message);
}

constexpr std::size_t max_window = std::numeric_limits<std::size_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Configs, KamaCreate,
    ::testing::Values(
        CreateCase{"inputs_first", {}, 0, {}, 0, 0, "inputs must not be empty"},
        CreateCase{"outputs_second", {"c"}, 0, {}, 0, 0, "outputs must not be empty"},
        CreateCase{"window_before_fast", {"c"}, 0, {"k"}, 0, 0, "window must be >= 1"},
        CreateCase{"fast_before_slow", {"c"}, 1, {"k"}, 0, 0, "fast must be >= 1"},
        CreateCase{"slow_equal_fast", {"c"}, 1, {"k"}, 5, 5, "slow must be > fast"},
        CreateCase{"fast_above_default_slow", {"c"}, 1, {"k"}, 40, 30, "slow must be > fast"},
        CreateCase{"window_plus_one_overflows", {"c"}, max_window, {"k"}, 2, 30, "window is too large"},
        CreateCase{"unreservable", {"c"}, std::size_t{1} << 60, {"k"}, 2, 30, "window is too large"}),
    [](const auto& info) { return std::string(info.param.name); });

// TA-Lib's KAMA over the first 2,000 SPY closes, window 10, fast 2, slow 30.
// Its seeding agrees with ours: the first value comes at bar `window` and
// smooths from the previous close. Two things differ, both only in
// rounding: TA-Lib keeps the volatility as a running sum (adding the new
// change and subtracting the oldest) where we sum each window afresh, and it
// treats er as 1 whenever that sum does not exceed the net change (and as 1,
// not 0, for a flat window, which the SPY closes never have).
TEST(Kama, MatchesTaLibOnRealCloses) {
  const auto table = testing::Table::read(testing::fixture_path("spy_reference.csv"));
  const auto bars = testing::bars_of({&table["close"]});
  auto kama = Kama::create({"close"}, 10, {"kama"}).value();
  const Series out = testing::run_bars(kama, bars);
  std::uint64_t worst = 0;
  for (std::size_t t = 0; t < table.rows(); ++t) {
    ASSERT_EQ(out[t].has_value(), t >= 10) << t;
    if (t < 10) continue;
    worst = std::max(worst, testing::ulp_distance(*out[t], table["kama"][t]));
  }
  EXPECT_LE(worst, 2u);
}

}  // namespace
}  // namespace vexal
