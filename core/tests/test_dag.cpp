#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline/dag.hpp"
#include "pipeline_fakes.hpp"

namespace vexal {
namespace {

using testing::fake;
using testing::transforms;
using Stages = std::vector<std::vector<std::string>>;

// Each stage as the first output names of its transforms (used as labels).
Stages stage_labels(const FeatureDag& dag) {
  Stages out;
  for (const auto& stage : dag.stages()) {
    auto& labels = out.emplace_back();
    for (const auto& t : stage) labels.push_back(t->output_names().at(0));
  }
  return out;
}

TEST(FeatureDag, EmptyListGivesEmptyGraph) {
  const auto dag = FeatureDag::create({}).value();
  EXPECT_TRUE(dag.stages().empty());
  EXPECT_TRUE(dag.output_names().empty());
  EXPECT_TRUE(dag.external_inputs().empty());
  EXPECT_EQ(dag.size(), 0u);
}

TEST(FeatureDag, StagesFollowDependenciesWhateverTheListOrder) {
  const auto forward = FeatureDag::create(transforms(fake({"close"}, {"ret"}), fake({"ret"}, {"ret_z"}),
                                                     fake({"close"}, {"sma"})))
                           .value();
  EXPECT_EQ(stage_labels(forward), (Stages{{"ret", "sma"}, {"ret_z"}}));
  EXPECT_EQ(forward.output_names(), (Names{"ret", "sma", "ret_z"}));
  EXPECT_EQ(forward.external_inputs(), (Names{"close"}));
  EXPECT_EQ(forward.size(), 3u);

  const auto shuffled = FeatureDag::create(transforms(fake({"ret"}, {"ret_z"}), fake({"close"}, {"ret"}),
                                                      fake({"close"}, {"sma"})))
                            .value();
  EXPECT_EQ(stage_labels(shuffled), (Stages{{"ret", "sma"}, {"ret_z"}}));
  EXPECT_EQ(shuffled.output_names(), (Names{"ret", "sma", "ret_z"}));
}

TEST(FeatureDag, NextStageIsInOrderOfBecomingReadyNotListOrder) {
  // p1 is taken before p2, so p1's consumer (d, index 3) precedes p2's (c, index 2).
  const auto dag =
      FeatureDag::create(transforms(fake({"x"}, {"p1"}), fake({"x"}, {"p2"}), fake({"p2"}, {"c"}),
                                    fake({"p1"}, {"d"}), fake({"c", "d"}, {"e"})))
          .value();
  EXPECT_EQ(stage_labels(dag), (Stages{{"p1", "p2"}, {"d", "c"}, {"e"}}));
  EXPECT_EQ(dag.output_names(), (Names{"p1", "p2", "d", "c", "e"}));
}

TEST(FeatureDag, OutputNamesKeepEachTransformsOwnOrder) {
  const auto dag = FeatureDag::create(
                       transforms(fake({"a"}, {"z2", "z1"}), fake({"z1"}, {"y"}), fake({"a"}, {"b1", "b0"})))
                       .value();
  EXPECT_EQ(dag.output_names(), (Names{"z2", "z1", "b1", "b0", "y"}));
}

TEST(FeatureDag, ReadingTwoOutputsOfOneProducerReleasesAtOnce) {
  // Index 1 reads both outputs of 0: two edges, both removed when 0 is taken.
  const auto dag = FeatureDag::create(transforms(fake({"x"}, {"a", "b"}), fake({"b", "a", "b"}, {"c"}),
                                                 fake({"a", "c"}, {"d"})))
                       .value();
  EXPECT_EQ(stage_labels(dag), (Stages{{"a"}, {"c"}, {"d"}}));
}

TEST(FeatureDag, ReadingOwnOutputMakesNoEdgeAndNoExternal) {
  const auto dag = FeatureDag::create(transforms(fake({"s", "p"}, {"s"}), fake({"c"}, {"p"}))).value();
  EXPECT_EQ(stage_labels(dag), (Stages{{"p"}, {"s"}}));
  EXPECT_EQ(dag.external_inputs(), (Names{"c"}));

  // Only reading itself: first stage, nothing external.
  const auto alone = FeatureDag::create(transforms(fake({"s"}, {"s"}))).value();
  EXPECT_EQ(stage_labels(alone), (Stages{{"s"}}));
  EXPECT_TRUE(alone.external_inputs().empty());
}

TEST(FeatureDag, ExternalInputsInOrderOfFirstUseEachOnce) {
  // "later" is read before its producer appears in the list, yet is produced.
  const auto dag =
      FeatureDag::create(transforms(fake({"z", "later", "a"}, {"o0"}), fake({"a", "b", "z"}, {"o1"}),
                                    fake({"b"}, {"later"}), fake({"Z", "z"}, {"o3"})))
          .value();
  EXPECT_EQ(dag.external_inputs(), (Names{"z", "a", "b", "Z"}));
}

struct FailureCase {
  std::string name;
  std::vector<std::pair<Names, Names>> transforms;  // (inputs, outputs)
  std::string message;
};

class FeatureDagFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FeatureDagFailure, ReportsFirstFault) {
  std::vector<std::unique_ptr<StreamingTransform>> list;
  for (const auto& [in, out] : GetParam().transforms) list.push_back(fake(in, out));
  const auto dag = FeatureDag::create(std::move(list));
  ASSERT_FALSE(dag.has_value());
  EXPECT_EQ(dag.error().display(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FeatureDagFailure,
    ::testing::Values(FailureCase{"DuplicateNamesEarlierProducerFirst",
                                  {{{"a"}, {"p"}}, {{"a"}, {"x"}}, {{"a"}, {"q"}}, {{"a"}, {"x"}}},
                                  "Duplicate output key 'x': produced by index 1 and 3"},
                      FailureCase{"DuplicateFirstInScanningOrder",
                                  {{{"a"}, {"x"}}, {{"a"}, {"x"}}, {{"a"}, {"q"}}, {{"a"}, {"x"}}},
                                  "Duplicate output key 'x': produced by index 0 and 1"},
                      FailureCase{"DuplicateWithinOneTransform",
                                  {{{"a"}, {"p"}}, {{"a"}, {"q"}}, {{"a"}, {"x", "y", "x"}}},
                                  "Duplicate output key 'x': produced by index 2 and 2"},
                      FailureCase{"DuplicateKeyShownUnescaped",
                                  {{{"a"}, {"k\"\\"}}, {{"a"}, {"k\"\\"}}},
                                  "Duplicate output key 'k\"\\': produced by index 0 and 1"},
                      FailureCase{"DuplicateReportedBeforeCycle",
                                  {{{"b"}, {"a"}}, {{"a"}, {"b"}}, {{"c"}, {"a"}}},
                                  "Duplicate output key 'a': produced by index 0 and 2"},
                      FailureCase{"TwoFeedingEachOtherBesideIndependent",
                                  {{{"c"}, {"i"}}, {{"b"}, {"a"}}, {{"a"}, {"b"}}},
                                  "Cyclic dependency detected among features"},
                      FailureCase{"DownstreamOfCycle",
                                  {{{"b"}, {"a"}}, {{"a"}, {"b"}}, {{"a", "c"}, {"d"}}},
                                  "Cyclic dependency detected among features"},
                      FailureCase{"CycleThroughThree",
                                  {{{"z"}, {"x"}}, {{"x"}, {"y"}}, {{"c"}, {"free"}}, {{"y", "free"}, {"z"}}},
                                  "Cyclic dependency detected among features"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vexal
