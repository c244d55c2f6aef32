#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/target_pipeline.hpp"
#include "pipeline_fakes.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_drawdown.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_max.hpp"
#include "targets/future_min.hpp"
#include "targets/future_return.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::fake_target;
using testing::FakeTarget;
using testing::TargetLog;
using Targets = std::vector<std::unique_ptr<Target>>;
using Columns = std::vector<Series>;

template <class... Ts>
Targets targets(std::unique_ptr<Ts>... ts) {
  Targets list;
  (list.push_back(std::move(ts)), ...);
  return list;
}

std::vector<ColumnView> views(const Columns& columns) { return {columns.begin(), columns.end()}; }

constexpr std::nullopt_t absent = std::nullopt;

struct ConstructionCase {
  std::string name;
  std::vector<std::pair<Names, Names>> targets;  // (inputs, outputs)
  Names columns;
  std::string message;
};

class TargetPipelineConstruction : public ::testing::TestWithParam<ConstructionCase> {};

TEST_P(TargetPipelineConstruction, FailsWithFirstFault) {
  Targets list;
  for (const auto& [in, out] : GetParam().targets) list.push_back(fake_target(in, out));
  const auto p = TargetPipeline::create(std::move(list), GetParam().columns);
  ASSERT_FALSE(p.has_value());
  EXPECT_EQ(p.error().display(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetPipelineConstruction,
    ::testing::Values(
        ConstructionCase{"NoTargetsNoColumns", {}, {}, "Invalid configuration: targets must not be empty"},
        ConstructionCase{"NoTargets", {}, {"c", "c"}, "Invalid configuration: targets must not be empty"},
        ConstructionCase{"FirstRepeatedColumnShownUnescaped",
                         {{{"missing"}, {"t"}}, {{"c"}, {"t"}}},
                         {"c", "h\\", "l", "h\\", "c"},
                         "Invalid configuration: duplicate input column: \"h\\\""},
        ConstructionCase{"DuplicateOutputEarlierTargetFirst",
                         {{{"c"}, {"a"}}, {{"c"}, {"x"}}, {{"missing"}, {"b"}}, {{"c"}, {"x"}}},
                         {"c"},
                         "Duplicate output key 'x': produced by index 1 and 3"},
        ConstructionCase{"DuplicateWithinOneTarget",
                         {{{"c"}, {"a"}}, {{"c"}, {"y", "y"}}},
                         {"c"},
                         "Duplicate output key 'y': produced by index 1 and 1"},
        ConstructionCase{"AnotherTargetsOutputIsNoSource",
                         {{{"c"}, {"ret"}}, {{"ret"}, {"ret2"}}},
                         {"c"},
                         "Missing input column(s): [\"ret\"]"},
        ConstructionCase{"AllMissingInOrderOfFirstUseEachOnce",
                         {{{"m2", "c", "m1"}, {"a"}}, {{"m1", "q\"", "m2"}, {"b"}}},
                         {"c"},
                         "Missing input column(s): [\"m2\", \"m1\", \"q\\\"\"]"}),
    [](const auto& info) { return info.param.name; });

TEST(TargetPipeline, ReportsConfiguration) {
  auto p = TargetPipeline::create(targets(std::make_unique<FakeTarget>(Names{"c"}, Names{"r1", "r0"}, 2, 5),
                                          std::make_unique<FakeTarget>(Names{"h"}, Names{"v"}, 1, 3)),
                                  {"h", "c", "unused"})
               .value();
  EXPECT_EQ(p.len(), 2u);
  EXPECT_EQ(p.forward_period(), 5u);  // the largest, not the sum
  EXPECT_EQ(p.input_columns(), (Names{"h", "c", "unused"}));
  EXPECT_EQ(p.input_names(), p.input_columns());
  EXPECT_EQ(p.output_names(), (Names{"r1", "r0", "v"}));
}

TEST(TargetPipeline, WrongNumberOfColumnsFails) {
  const auto p = TargetPipeline::create(targets(fake_target({"close"}, {"t"})), {"close", "high"}).value();
  const Columns one = {{1.0}};
  EXPECT_EQ(p.run_research(views(one)).error().display(),
            "Invalid input: expected 2 input column(s) [\"close\", \"high\"], got 1");
  const Columns three = {{1.0}, {2.0}, {3.0}};
  EXPECT_EQ(p.run_research(views(three)).error().display(),
            "Invalid input: expected 2 input column(s) [\"close\", \"high\"], got 3");
}

TEST(TargetPipeline, NoInputColumnsMessageShowsEmptyList) {
  const auto p = TargetPipeline::create(targets(fake_target({}, {"t"})), {}).value();
  const Columns one = {{1.0}};
  EXPECT_EQ(p.run_research(views(one)).error().display(),
            "Invalid input: expected 0 input column(s) [], got 1");
  EXPECT_EQ(p.run_research({}).value(), (Columns{{}}));
}

TEST(TargetPipeline, TargetsReadTheCallersColumnsByNameInListOrder) {
  auto log = std::make_shared<TargetLog>();
  const auto p = TargetPipeline::create(
                     targets(std::make_unique<FakeTarget>(Names{"c", "h", "c"}, Names{"a0", "a1"}, 2, 0, log),
                             std::make_unique<FakeTarget>(Names{"h"}, Names{"b0"}, 1, 0, log)),
                     {"h", "unused", "c"})
                     .value();
  const Columns data = {{1.0, 2.0, absent}, {7.0}, {5.0, absent, 6.0}};
  const auto out = p.run_research(views(data)).value();
  EXPECT_EQ(out, (Columns{{15.0, absent, 16.0}, {21.0, 22.0, absent}, {11.0, 12.0, absent}}));

  // Views of the caller's own columns, not copies.
  ASSERT_EQ(log->data.size(), 2u);
  EXPECT_EQ(log->data[0],
            (std::vector<const OptionalValue*>{data[2].data(), data[0].data(), data[2].data()}));
  EXPECT_EQ(log->data[1], (std::vector<const OptionalValue*>{data[0].data()}));

  // Pure: a second call gives the same columns.
  EXPECT_EQ(p.run_research(views(data)).value(), out);
}

TEST(TargetPipeline, ColumnsOfUnequalLengthPassUnchanged) {
  auto log = std::make_shared<TargetLog>();
  const auto p =
      TargetPipeline::create(
          targets(std::make_unique<FakeTarget>(Names{"a", "b"}, Names{"x", "y"}, 2, 0, log)), {"a", "b"})
          .value();
  const Columns data = {{1.0, 2.0, 3.0}, {4.0}};
  EXPECT_EQ(p.run_research(views(data)).value(), (Columns{{11.0, 12.0, 13.0}, {24.0, absent, absent}}));
  EXPECT_EQ(log->sizes.at(0), (std::vector<std::size_t>{3, 1}));
}

TEST(TargetPipeline, EveryOutputNameGetsItsOwnColumn) {
  // The first target returns one column for three names, the second three
  // for one name: the result still has one column per name, in place.
  const auto p =
      TargetPipeline::create(
          targets(std::make_unique<FakeTarget>(Names{"b", "a"}, Names{"r", "r_extra1", "r_extra2"}, 1),
                  std::make_unique<FakeTarget>(Names{"a"}, Names{"s"}, 3),
                  std::make_unique<FakeTarget>(Names{"a"}, Names{"none"}, 0)),
          {"a", "b"})
          .value();
  const Columns data = {{1.0, 2.0}, {5.0, 6.0, 7.0}};
  const auto out = p.run_research(views(data)).value();
  ASSERT_EQ(out.size(), p.output_names().size());
  EXPECT_EQ(out, (Columns{{15.0, 16.0, 17.0},
                          {absent, absent, absent},
                          {absent, absent, absent},
                          {11.0, 12.0},
                          {absent, absent}}));
}

// Slice by slice into columns, every target's own kernel and the default
// (the fake), on gappy real data with infinities, zeros and a present NaN:
// the labels of the whole run, bit for bit, whatever the slice length, and
// whatever the horizon: one near 2^64 must not wrap round to a past bar.
class TargetSlices : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TargetSlices, GiveTheWholeRunsLabels) {
  const std::size_t top = GetParam();
  const auto table = testing::Table::read(testing::fixture_path("gappy_targets.csv"));
  Columns data = {Series(), Series()};
  for (const double v : table["x"]) data[0].push_back(testing::bar(v));
  for (const double v : table["close"]) data[1].push_back(testing::bar(v));
  data[1][30] = std::numeric_limits<double>::infinity();
  data[1][31] = 0.0;
  data[0][40] = std::numeric_limits<double>::quiet_NaN();
  data[1][50] = -1.0;
  for (std::size_t i = 60; i < 66; ++i) data[0][i] = 2.0;  // a constant x
  const auto p =
      TargetPipeline::create(
          targets(
              std::make_unique<FutureReturn>(
                  FutureReturn::create({"close"}, top - 2, {"r", "r_spare"}).value()),
              std::make_unique<FutureCTCVolatility>(FutureCTCVolatility::create("close", top - 1).value()),
              std::make_unique<FutureLinearSlope>(
                  FutureLinearSlope::create({"x", "close"}, top, {"slope", "r2"}).value()),
              std::make_unique<FakeTarget>(Names{"close"}, Names{"fake", "fake_spare"}, 1),
              std::make_unique<FutureMax>(FutureMax::create({"x", "close"}, top, {"max"}).value()),
              std::make_unique<FutureMin>(FutureMin::create({"x", "close"}, top - 1, {"min"}).value()),
              std::make_unique<FutureDrawdown>(FutureDrawdown::create({"close"}, top, {"dd"}).value())),
          {"x", "close"})
          .value();
  const Columns whole = p.run_research(views(data)).value();
  const std::size_t bars = data[0].size();
  for (const std::size_t chunk : {1, 2, 7, 50, 100000}) {
    auto run = p.start_slices(bars, chunk);
    Columns got(whole.size());
    for (std::size_t begin = 0; begin < bars; begin += run.chunk()) {
      const auto slice = run.slice(begin);
      for (std::size_t j = 0; j < data.size(); ++j) {
        for (std::size_t i = 0; i < slice.read_count; ++i)
          run.inputs()[j].set(i, data[j][slice.read_begin + i]);
      }
      run.run(slice);
      for (std::size_t k = 0; k < got.size(); ++k) {
        for (std::size_t i = 0; i < slice.count; ++i) got[k].push_back(run.outputs()[k].at(i));
      }
    }
    for (std::size_t k = 0; k < whole.size(); ++k) {
      ASSERT_EQ(got[k].size(), whole[k].size());
      for (std::size_t i = 0; i < bars; ++i) {
        EXPECT_TRUE(testing::same_value(got[k][i], whole[k][i]))
            << "chunk " << chunk << ", " << k << ", " << i;
      }
    }
  }
  if (top > bars) {
    for (std::size_t k = 0; k < 4; ++k) {
      for (const OptionalValue& v : whole[k]) EXPECT_FALSE(v.has_value()) << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Horizons, TargetSlices,
                         ::testing::Values(std::size_t{5}, std::numeric_limits<std::size_t>::max(),
                                           std::numeric_limits<std::size_t>::max() / 2 + 2));

// Chunks are sized by work: a long horizon labels fewer bars per slice.
TEST(TargetPipeline, SlicesOfLongWindowsHoldBoundedWork) {
  const auto p = TargetPipeline::create(targets(std::make_unique<FutureCTCVolatility>(
                                            FutureCTCVolatility::create("close", 100000).value())),
                                        {"close"})
                     .value();
  EXPECT_LE(p.start_slices(1000000).chunk(), 2000u);
  const auto cheap =
      TargetPipeline::create(
          targets(std::make_unique<FutureReturn>(FutureReturn::create({"close"}, 100000, {"r"}).value())),
          {"close"})
          .value();
  EXPECT_EQ(cheap.start_slices(1000000).chunk(), 400000u);
}

}  // namespace
}  // namespace vexal
