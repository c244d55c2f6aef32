#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "alloc_counter.hpp"
#include "series_support.hpp"
#include "tools/pairwise.hpp"
#include "tools/rolling.hpp"
#include "tools/shift.hpp"
#include "value_buffer.hpp"

namespace vexal {
namespace {

using testing::absent;
using testing::NaN;
using testing::series;
using testing::SeriesIdentical;

constexpr double inf = std::numeric_limits<double>::infinity();

template <class Arg>
struct ToolCase {
  const char* name;
  Series values;
  Arg arg;
  Series expected;
  friend void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }
};
const auto case_name = [](const auto& info) { return std::string(info.param.name); };

using ShiftCase = ToolCase<std::ptrdiff_t>;
class ShiftTest : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ShiftTest, MovesElementsAndLeavesTheGapAbsent) {
  EXPECT_PRED_FORMAT2(SeriesIdentical, shift(GetParam().values, GetParam().arg), GetParam().expected);
}

const Series one_two_three = series({1, 2, 3});
constexpr auto most = std::numeric_limits<std::ptrdiff_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Cases, ShiftTest,
    ::testing::Values(ShiftCase{"Lag", one_two_three, 1, series({NaN, 1, 2})},
                      ShiftCase{"Lead", one_two_three, -1, series({2, 3, NaN})},
                      ShiftCase{"ZeroCopies", series({1, NaN, 3}), 0, series({1, NaN, 3})},
                      ShiftCase{"AbsentMoves", series({1, NaN, 3}), 1, series({NaN, 1, NaN})},
                      ShiftCase{"NaNIsKept", Series{absent, NaN}, -1, Series{NaN, absent}},
                      ShiftCase{"LagOfLength", one_two_three, 3, Series(3)},
                      ShiftCase{"LeadOfLength", one_two_three, -3, Series(3)},
                      ShiftCase{"LagBeyond", one_two_three, 7, Series(3)},
                      ShiftCase{"LeadBeyond", one_two_three, -7, Series(3)},
                      ShiftCase{"LargestLag", one_two_three, most, Series(3)},
                      ShiftCase{"LargestLead", one_two_three, -most - 1, Series(3)},
                      ShiftCase{"Empty", {}, -1, {}}),
    case_name);

using RollingCase = ToolCase<std::size_t>;
class RollingTest : public ::testing::TestWithParam<RollingCase> {};

TEST_P(RollingTest, SampleStdDevOfEachFullWindow) {
  EXPECT_PRED_FORMAT2(SeriesIdentical, rolling(GetParam().values, GetParam().arg), GetParam().expected);
}

const double half = std::sqrt(0.5);

INSTANTIATE_TEST_SUITE_P(
    Cases, RollingTest,
    ::testing::Values(
        RollingCase{"WindowTwo", series({1, 2, 3, 4}), 2, series({NaN, half, half, half})},
        // The two-pass value; the correctly rounded √(7/3) is one ulp higher.
        RollingCase{"WindowThree", series({1, 2, 4}), 3, series({NaN, NaN, 1.5275252316519465})},
        RollingCase{"AbsentBlanksItsWindows", series({1, 2, NaN, 4, 5, 7}), 2,
                    series({NaN, half, NaN, NaN, half, std::sqrt(2.0)})},
        RollingCase{"InfinityIsNotScreened", series({1, inf, 2, 3}), 2, Series{absent, NaN, NaN, half}},
        RollingCase{"WindowOneIsAllAbsent", series({1, 2, 3}), 1, Series(3)},
        RollingCase{"WindowZeroIsEmpty", series({1, 2, 3}), 0, {}},
        RollingCase{"WindowLongerThanSeries", series({1, 2, 3}), 4, Series(3)},
        RollingCase{"LargestWindow", series({1, 2, 3}), std::numeric_limits<std::size_t>::max(), Series(3)}),
    case_name);

TEST(Rolling, AnAbsentElementBlanksExactlyTheWindowsHoldingIt) {
  std::vector<double> xs;
  for (int i = 0; i < 40; ++i) xs.push_back(100.0 + std::sin(i * 0.7) * 3.0 + i * 0.1);
  const std::size_t window = 5;
  const Series clean = rolling(series(xs), window);
  for (std::size_t j : {0u, 3u, 17u, 39u}) {
    std::vector<double> gappy = xs;
    gappy[j] = NaN;
    Series expected = clean;
    for (std::size_t t = j; t < std::min(j + window, xs.size()); ++t) expected[t] = absent;
    EXPECT_PRED_FORMAT2(SeriesIdentical, rolling(series(gappy), window), expected) << "gap at " << j;
  }
}

TEST(StdDev, WrappedBufferGivesTheValueOfTheSameElementsInARow) {
  auto buffer = ValueBuffer::with_capacity(4).value();
  for (double x : {9.5, 1.25, 7.0, 3.5, 100.125, 2.75}) buffer.push_back(x);
  ASSERT_EQ(buffer.front(), OptionalValue(7.0)) << "the buffer should have dropped its oldest two";
  EXPECT_EQ(std_dev(buffer), std_dev(series({7.0, 3.5, 100.125, 2.75})));
  EXPECT_EQ(std_dev(series({1, NaN, 3})), absent);
}

struct PairwiseCase {
  const char* name;
  Series a;
  Series b;
  Series expected;
  friend void PrintTo(const PairwiseCase& c, std::ostream* os) { *os << c.name; }
};

class PairwiseTest : public ::testing::TestWithParam<PairwiseCase> {};

TEST_P(PairwiseTest, LogRatioOfPositivePairs) {
  EXPECT_PRED_FORMAT2(SeriesIdentical, pairwise(GetParam().a, GetParam().b), GetParam().expected);
}

const Series unusable = {absent, 0.0, -1.0, NaN};

INSTANTIATE_TEST_SUITE_P(
    Cases, PairwiseTest,
    ::testing::Values(
        PairwiseCase{"ShorterLengthWins", series({1, 2}), series({2, 2, 5}), series({std::log(2.0), 0})},
        PairwiseCase{"LeftShorter", series({2, 4, 8}), series({1}), series({std::log(0.5)})},
        PairwiseCase{"DivisionThenLog", series({3}), series({7}), series({std::log(7.0 / 3.0)})},
        PairwiseCase{"UnusableLeft", unusable, series({1, 1, 1, 1}), Series(4)},
        PairwiseCase{"UnusableRight", series({1, 1, 1, 1}), unusable, Series(4)},
        PairwiseCase{"InfinityIsPositive", series({1, inf}), series({inf, 1}), series({inf, -inf})}),
    case_name);

TEST(SeriesTools, AllocateTheResultOnceAndRollingOneQueue) {
  const Series a = series({1, 2, NaN, 4, 5, 6, 7, 8});
  std::size_t counts[3] = {};
  {
    const testing::AllocationCounter allocations;
    const Series s = shift(a, -3);
    counts[0] = allocations.count();
    const Series p = pairwise(a, s);
    counts[1] = allocations.count() - counts[0];
    const Series r = rolling(a, 3);
    counts[2] = allocations.count() - counts[0] - counts[1];
  }
  EXPECT_EQ(counts[0], 1u);
  EXPECT_EQ(counts[1], 1u);
  EXPECT_EQ(counts[2], 2u);
}

}  // namespace
}  // namespace vexal
