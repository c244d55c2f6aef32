#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "alloc_counter.hpp"
#include "features/ema.hpp"
#include "features/sma.hpp"
#include "internal_failure.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::NaN;
const OptionalValue absent;

TEST(Sma, AveragesFullWindows) {
  auto sma = Sma::create({"c"}, 3, {"s"}).value();
  EXPECT_EQ(run(sma, {1, 2, 3, 4}), (Series{absent, absent, 2.0, 3.0}));
}

TEST(Sma, MissingValueBlanksExactlyTheWindowsContainingIt) {
  auto sma = Sma::create({"c"}, 3, {"s"}).value();
  EXPECT_EQ(run(sma, {1, 2, 3, NaN, 5, 6, 7, 8}),
            (Series{absent, absent, 2.0, absent, absent, absent, 6.0, 7.0}));
}

TEST(Sma, WindowOneReturnsEachInput) {
  auto sma = Sma::create({"c"}, 1, {"s"}).value();
  EXPECT_EQ(run(sma, {1.5, NaN, -2}), (Series{1.5, absent, -2.0}));
  EXPECT_EQ(sma.warm_up_period(), 0u);
}

TEST(Sma, AnExtremeValueLeavesNoTraceOnceOutOfTheWindow) {
  auto sma = Sma::create({"c"}, 2, {"s"}).value();
  const Series out = run(sma, {1e300, 1, 0.1, 0.2});
  EXPECT_EQ(out[3], (0.1 + 0.2) / 2.0);
}

TEST(Ema, SeedsWithTheSimpleAverageThenRecurses) {
  auto ema = Ema::create({"c"}, 3, {"e"}).value();
  EXPECT_EQ(run(ema, {1, 2, 3, 4, 5}), (Series{absent, absent, 2.0, 3.0, 4.0}));
}

TEST(Ema, MissingValueAfterSeedingStartsSeedingAgain) {
  auto ema = Ema::create({"c"}, 3, {"e"}).value();
  const Series out = run(ema, {1, 2, 3, 4, NaN, 6, 7, 8, 9});
  EXPECT_EQ(out, (Series{absent, absent, 2.0, 3.0, absent, absent, absent, 7.0, 8.0}));
}

TEST(Ema, MissingValueBeforeSeedingKeepsTheBufferSliding) {
  auto ema = Ema::create({"c"}, 3, {"e"}).value();
  const Series out = run(ema, {1, NaN, 3, 4, 5, 6});
  EXPECT_EQ(out, (Series{absent, absent, absent, absent, 4.0, 5.0}));
}

TEST(Ema, RecursionFormsOneMinusAlphaFirst) {
  auto ema = Ema::create({"c"}, 4, {"e"}).value();
  const Series out = run(ema, {1, 2, 3, 4, 10});
  const double alpha = 2.0 / (4.0 + 1.0);
  const double keep = 1.0 - alpha;
  EXPECT_EQ(out[4], keep * 2.5 + alpha * 10.0);
}

TEST(Ema, WindowOneReturnsEachInput) {
  auto ema = Ema::create({"c"}, 1, {"e"}).value();
  EXPECT_EQ(run(ema, {3, 4, NaN, 6}), (Series{3.0, 4.0, absent, 6.0}));
}

template <class T>
class MovingAverage : public ::testing::Test {};
using MovingAverages = ::testing::Types<Sma, Ema>;
TYPED_TEST_SUITE(MovingAverage, MovingAverages);

TYPED_TEST(MovingAverage, ConstructorChecksInOrder) {
  EXPECT_EQ(TypeParam::create({}, 0, {}).error().display(), "Invalid input: inputs must not be empty");
  EXPECT_EQ(TypeParam::create({"c"}, 0, {}).error().display(), "Invalid input: outputs must not be empty");
  EXPECT_EQ(TypeParam::create({"c"}, 0, {"s"}).error().display(), "Invalid input: window must be non-zero");
  EXPECT_EQ(TypeParam::create({"c"}, std::size_t{1} << 62, {"s"}).error().display(),
            "Invalid input: window is too large");
  EXPECT_TRUE(TypeParam::create({"c"}, std::size_t{1} << 30, {"s"}).has_value());
}

TYPED_TEST(MovingAverage, ResetAndFreshBehaveLikeNew) {
  auto used = TypeParam::create({"c", "extra"}, 4, {"s", "more"}).value();
  (void)run(used, {5, 6, 7, 8, 9});
  auto copy = used.fresh();
  used.reset();
  auto brand_new = TypeParam::create({"c"}, 4, {"s"}).value();
  const Series expected = run(brand_new, {1, 2, 3, 4, 5, NaN, 7});
  EXPECT_EQ(run(used, {1, 2, 3, 4, 5, NaN, 7}), expected);
  EXPECT_EQ(run(*copy, {1, 2, 3, 4, 5, NaN, 7}), expected);
  EXPECT_EQ(copy->input_names(), (Names{"c", "extra"}));
  EXPECT_EQ(copy->output_names(), (Names{"s", "more"}));
  EXPECT_EQ(copy->warm_up_period(), 3u);
}

TYPED_TEST(MovingAverage, ReadsOnlyTheFirstValue) {
  auto t = TypeParam::create({"a", "b"}, 1, {"s"}).value();
  const OptionalValue bar[] = {2.0, 100.0};
  EXPECT_EQ(t.update(bar).at(0), 2.0);
}

TYPED_TEST(MovingAverage, EmptyBarFailsWithoutChangingState) {
  auto t = TypeParam::create({"c"}, 2, {"s"}).value();
  auto reference = TypeParam::create({"c"}, 2, {"s"}).value();
  (void)run(t, {1});
  (void)run(reference, {1});
  EXPECT_THROW(t.update({}), InternalFailure);
  EXPECT_EQ(run(t, {3, 5}), run(reference, {3, 5}));
}

TYPED_TEST(MovingAverage, UpdateNeverAllocates) {
  auto t = TypeParam::create({"c"}, 20, {"s"}).value();
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise;
  testing::AllocationCounter allocations;
  for (int i = 0; i < 1000; ++i) {
    const OptionalValue bar = i % 97 == 0 ? absent : OptionalValue(100 + noise(rng));
    (void)t.update(std::span(&bar, 1));
  }
  t.reset();
  EXPECT_EQ(allocations.count(), 0u);
}

// An independent reference: plain loops over the whole series.
Series reference_sma(const std::vector<double>& xs, std::size_t w) {
  Series out(xs.size());
  for (std::size_t t = w - 1; t < xs.size(); ++t) {
    double sum = 0.0;
    bool ok = true;
    for (std::size_t i = t + 1 - w; i <= t; ++i) {
      ok = ok && !std::isnan(xs[i]);
      sum += xs[i];
    }
    if (ok) out[t] = sum / static_cast<double>(w);
  }
  return out;
}

TEST(Sma, MatchesPlainLoopsOnNoisyDataWithGaps) {
  std::mt19937_64 rng(42);
  std::normal_distribution<double> step(0.0, 1.0);
  std::vector<double> xs;
  double price = 100;
  for (int i = 0; i < 3000; ++i) {
    price += step(rng);
    xs.push_back(i % 211 == 17 ? NaN : price);
  }
  for (std::size_t w : {1, 2, 5, 20, 100}) {
    auto sma = Sma::create({"c"}, w, {"s"}).value();
    Series out;
    for (double x : xs) out.push_back(sma.update(std::vector{testing::bar(x)}).at(0));
    EXPECT_EQ(out, reference_sma(xs, w)) << "window " << w;
  }
}

}  // namespace
}  // namespace vexal
