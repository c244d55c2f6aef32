#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "operators/neg_log.hpp"
#include "operators/subtract.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::NaN;
using testing::same_value;

constexpr double inf = std::numeric_limits<double>::infinity();

struct OperatorCase {
  const char* name;
  std::vector<double> bar;  // NaN means absent
  OptionalValue expected;
};

std::vector<OptionalValue> to_bar(const std::vector<double>& xs) {
  std::vector<OptionalValue> out;
  for (double x : xs) out.push_back(testing::bar(x));
  return out;
}

class SubtractValues : public ::testing::TestWithParam<OperatorCase> {};

TEST_P(SubtractValues, GivesTheDifferenceOrAbsent) {
  auto op = Subtract::create({"a", "b"}, {"d"}).value();
  const UpdateResult r = op.update(to_bar(GetParam().bar));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same_value(r[0], GetParam().expected)) << r[0].value_or(-999);
}

INSTANTIATE_TEST_SUITE_P(Bars, SubtractValues,
                         ::testing::Values(OperatorCase{"positive", {5, 3}, 2.0},
                                           OperatorCase{"negative", {3, 5}, -2.0},
                                           OperatorCase{"absent_minuend", {NaN, 1}, std::nullopt},
                                           OperatorCase{"absent_subtrahend", {1, NaN}, std::nullopt},
                                           OperatorCase{"extra_values_ignored", {5, 3, 100}, 2.0},
                                           OperatorCase{"infinities_flow_through", {inf, 1}, inf}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Subtract, InfinityMinusInfinityIsAPresentNaN) {
  auto op = Subtract::create({"a", "b"}, {"d"}).value();
  const OptionalValue r = op.update(to_bar({inf, inf}))[0];
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(std::isnan(*r));
}

class NegLogValues : public ::testing::TestWithParam<OperatorCase> {};

TEST_P(NegLogValues, GivesMinusLnOrAbsent) {
  auto op = NegLog::create({"x"}, {"y"}).value();
  const UpdateResult r = op.update(to_bar(GetParam().bar));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same_value(r[0], GetParam().expected)) << r[0].value_or(-999);
}

INSTANTIATE_TEST_SUITE_P(
    Bars, NegLogValues,
    ::testing::Values(OperatorCase{"e", {std::numbers::e}, -1.0},
                      OperatorCase{"half", {0.5}, std::numbers::ln2},
                      OperatorCase{"one_gives_negative_zero", {1.0}, -0.0},
                      OperatorCase{"infinity", {inf}, -inf}, OperatorCase{"zero", {0.0}, std::nullopt},
                      OperatorCase{"negative", {-3.0}, std::nullopt},
                      OperatorCase{"absent", {NaN}, std::nullopt},
                      OperatorCase{"extra_values_ignored", {0.5, -1.0}, std::numbers::ln2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NegLog, PresentNaNIsAbsent) {
  auto op = NegLog::create({"x"}, {"y"}).value();
  const OptionalValue x = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(op.update(std::span(&x, 1))[0].has_value());
}

struct CreateCase {
  const char* name;
  Names inputs;
  Names outputs;
  const char* message;
};

class SubtractCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(SubtractCreate, RejectsInOrder) {
  const auto made = Subtract::create(GetParam().inputs, GetParam().outputs);
  ASSERT_FALSE(made.has_value());
  EXPECT_EQ(made.error().display(), std::string("Invalid input: ") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, SubtractCreate,
    ::testing::Values(CreateCase{"one_input", {"a"}, {"d"}, "inputs must contain exactly 2 columns"},
                      CreateCase{"inputs_before_outputs", {"a"}, {}, "inputs must contain exactly 2 columns"},
                      CreateCase{
                          "three_inputs", {"a", "b", "c"}, {"d"}, "inputs must contain exactly 2 columns"},
                      CreateCase{"no_outputs", {"a", "b"}, {}, "outputs must not be empty"}),
    [](const auto& info) { return std::string(info.param.name); });

class NegLogCreate : public ::testing::TestWithParam<CreateCase> {};

TEST_P(NegLogCreate, RejectsInOrder) {
  const auto made = NegLog::create(GetParam().inputs, GetParam().outputs);
  ASSERT_FALSE(made.has_value());
  EXPECT_EQ(made.error().display(), std::string("Invalid input: ") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, NegLogCreate,
    ::testing::Values(CreateCase{"no_inputs", {}, {"y"}, "inputs must contain exactly 1 column"},
                      CreateCase{"two_inputs", {"a", "b"}, {}, "inputs must contain exactly 1 column"},
                      CreateCase{"no_outputs", {"x"}, {}, "outputs must not be empty"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexal
