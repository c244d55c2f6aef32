#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "features/log_return.hpp"
#include "features/simple_return.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::NaN;

TEST(LogReturn, IsTheLogOfTheQuotientOverTheLookback) {
  auto r = LogReturn::create({"c"}, 2, {"r"}).value();
  EXPECT_EQ(run(r, {100, 110, 121}), (Series{std::nullopt, std::nullopt, std::log(121.0 / 100.0)}));
}

TEST(SimpleReturn, IsTheDifferenceOverTheOldValue) {
  auto r = SimpleReturn::create({"c"}, 1, {"r"}).value();
  EXPECT_EQ(run(r, {100, 90}), (Series{std::nullopt, -0.1}));
}

struct ValidityCase {
  const char* name;
  double old_value;
  double new_value;
  OptionalValue simple;
  OptionalValue log;
};

class ReturnValidity : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(ReturnValidity, OnlyAPositiveOldValueIsRequiredForSimpleReturns) {
  const ValidityCase& c = GetParam();
  auto simple = SimpleReturn::create({"c"}, 1, {"r"}).value();
  auto log = LogReturn::create({"c"}, 1, {"r"}).value();
  EXPECT_EQ(run(simple, {c.old_value, c.new_value})[1], c.simple);
  EXPECT_EQ(run(log, {c.old_value, c.new_value})[1], c.log);
}

INSTANTIATE_TEST_SUITE_P(Values, ReturnValidity,
                         ::testing::Values(ValidityCase{"zero_old", 0, 5, std::nullopt, std::nullopt},
                                           ValidityCase{"negative_old", -2, 5, std::nullopt, std::nullopt},
                                           ValidityCase{"zero_new", 4, 0, -1.0, std::nullopt},
                                           ValidityCase{"negative_new", 4, -2, -1.5, std::nullopt},
                                           ValidityCase{"absent_old", NaN, 5, std::nullopt, std::nullopt},
                                           ValidityCase{"absent_new", 4, NaN, std::nullopt, std::nullopt},
                                           ValidityCase{"doubling", 4, 8, 1.0, std::log(2.0)}),
                         [](const auto& info) { return std::string(info.param.name); });

// An absent input spoils exactly two outputs: its own bar (as the new value)
// and the bar `window` later (as the old value); the warm-up is not restarted.
TEST(LookbackReturns, AMissingValueSpoilsItsOwnBarAndTheOneAWindowLater) {
  auto r = SimpleReturn::create({"c"}, 2, {"r"}).value();
  const Series out = run(r, {1, 2, 4, NaN, 16, 32, 64});
  const Series expected{std::nullopt, std::nullopt, 3.0, std::nullopt, 3.0, std::nullopt, 3.0};
  EXPECT_EQ(out, expected);
}

TEST(LookbackReturns, MissingValueDuringWarmUpDoesNotRestartIt) {
  auto r = LogReturn::create({"c"}, 2, {"r"}).value();
  const Series out = run(r, {NaN, 2, 4, 8});
  EXPECT_EQ(out, (Series{std::nullopt, std::nullopt, std::nullopt, std::log(4.0)}));
}

struct CreateCase {
  const char* name;
  Names inputs;
  std::size_t window;
  Names outputs;
  const char* message;
};

class ReturnCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(ReturnCreate, RejectsInOrderForBothClasses) {
  const CreateCase& c = GetParam();
  const std::string expected = std::string("Invalid input: ") + c.message;
  const auto simple = SimpleReturn::create(c.inputs, c.window, c.outputs);
  const auto log = LogReturn::create(c.inputs, c.window, c.outputs);
  ASSERT_FALSE(simple.has_value());
  ASSERT_FALSE(log.has_value());
  EXPECT_EQ(simple.error().display(), expected);
  EXPECT_EQ(log.error().display(), expected);
}

constexpr std::size_t max_window = std::numeric_limits<std::size_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Configs, ReturnCreate,
    ::testing::Values(
        CreateCase{"inputs_first", {}, 0, {}, "inputs must not be empty"},
        CreateCase{"outputs_before_window", {"c"}, 0, {}, "outputs must not be empty"},
        CreateCase{"zero_window", {"c"}, 0, {"r"}, "window must be non-zero"},
        CreateCase{"window_plus_one_overflows", {"c"}, max_window, {"r"}, "window is too large"},
        CreateCase{"byte_count_overflows", {"c"}, max_window / 4, {"r"}, "window is too large"},
        CreateCase{"unreservable_window", {"c"}, std::size_t{1} << 58, {"r"}, "window is too large"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LookbackReturns, ReadOnlyTheFirstColumn) {
  auto r = LogReturn::create({"a", "b"}, 1, {"r"}).value();
  const std::vector<OptionalValue> first{2.0, -1.0};
  const std::vector<OptionalValue> second{4.0, std::nullopt};
  EXPECT_FALSE(r.update(first)[0].has_value());
  EXPECT_EQ(r.update(second)[0], std::log(2.0));
}

// numpy's vectorised expressions over the first 2,000 SPY closes, 5-bar
// lookback. The simple return is the same two operations, so it agrees
// exactly; numpy's own log may differ from the C library's by an ulp.
TEST(LookbackReturns, MatchNumpyOnRealCloses) {
  const auto table = testing::Table::read(testing::fixture_path("spy_reference.csv"));
  const auto bars = testing::bars_of({&table["close"]});
  auto simple = SimpleReturn::create({"close"}, 5, {"r"}).value();
  auto log = LogReturn::create({"close"}, 5, {"r"}).value();
  const Series simple_out = testing::run_bars(simple, bars);
  const Series log_out = testing::run_bars(log, bars);
  for (std::size_t t = 0; t < table.rows(); ++t) {
    ASSERT_EQ(simple_out[t].has_value(), t >= 5) << t;
    ASSERT_EQ(log_out[t].has_value(), t >= 5) << t;
    if (t < 5) continue;
    EXPECT_EQ(*simple_out[t], table["simple_return"][t]) << t;
    EXPECT_LE(testing::ulp_distance(*log_out[t], table["log_return"][t]), 1u) << t;
  }
}

}  // namespace
}  // namespace vexal
