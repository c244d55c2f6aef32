#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "alloc_counter.hpp"
#include "features/ema.hpp"
#include "features/sma.hpp"
#include "pipeline/feature_pipeline.hpp"
#include "pipeline/step_workers.hpp"
#include "pipeline_fakes.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using testing::fake;
using testing::FakeTransform;
using testing::owned;
using testing::same_value;
using testing::transforms;
using Transforms = std::vector<std::unique_ptr<StreamingTransform>>;

// The routing written the plain way: a fresh name table per bar. A name its
// transform gives no value is entered as absent, so it reads like the result.
class NameTableReference {
 public:
  NameTableReference(const FeaturePipeline& pipeline) : columns_(pipeline.input_columns()) {
    pipeline.dag().for_each([&](const StreamingTransform& t) { order_.push_back(t.fresh()); });
  }

  Series update(const Series& values) {
    std::unordered_map<std::string, OptionalValue> table;
    for (std::size_t i = 0; i < columns_.size(); ++i) table[columns_[i]] = values.at(i);
    Series result;
    for (auto& t : order_) {
      Series in;
      for (const auto& name : t->input_names()) {
        const auto it = table.find(name);
        in.push_back(it == table.end() ? OptionalValue() : it->second);
      }
      const UpdateResult out = t->update(in);
      const Names names = t->output_names();
      for (std::size_t k = 0; k < names.size(); ++k) {
        const OptionalValue v = k < out.size() ? out[k] : OptionalValue();
        table[names[k]] = v;
        result.push_back(v);
      }
    }
    return result;
  }

 private:
  Names columns_;
  Transforms order_;
};

void expect_same_row(std::span<const OptionalValue> got, const Series& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_TRUE(same_value(got[k], want[k]))
        << "position " << k << ": " << got[k].value_or(-999.0) << " vs " << want[k].value_or(-999.0);
  }
}

Series row(std::span<const OptionalValue> values) { return Series(values.begin(), values.end()); }

Series update_ok(FeaturePipeline& p, const Series& bar) { return row(p.update(bar).value()); }

// ---------------------------------------------------------------- construction

struct ConstructionCase {
  std::string name;
  std::vector<std::pair<Names, Names>> features;  // (inputs, outputs)
  Names columns;
  std::string message;
};

class FeaturePipelineConstruction : public ::testing::TestWithParam<ConstructionCase> {};

TEST_P(FeaturePipelineConstruction, FailsWithFirstFault) {
  Transforms list;
  for (const auto& [in, out] : GetParam().features) list.push_back(fake(in, out));
  const auto p = FeaturePipeline::create(std::move(list), GetParam().columns);
  ASSERT_FALSE(p.has_value());
  EXPECT_EQ(p.error().display(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FeaturePipelineConstruction,
    ::testing::Values(
        ConstructionCase{"NoFeatures", {}, {"a", "a"}, "Invalid configuration: features must not be empty"},
        ConstructionCase{"NoFeaturesNoColumns", {}, {}, "Invalid configuration: features must not be empty"},
        ConstructionCase{"FirstRepeatedColumnShownUnescaped",
                         {{{"m"}, {"x"}}, {{"x"}, {"x"}}},
                         {"a", "b\"q", "c", "b\"q", "a"},
                         "Invalid configuration: duplicate input column: \"b\"q\""},
        ConstructionCase{"RepeatedColumnNobodyReads",
                         {{{"a"}, {"x"}}},
                         {"a", "z", "z"},
                         "Invalid configuration: duplicate input column: \"z\""},
        ConstructionCase{"DuplicateOutputBeforeCycleAndMissing",
                         {{{"b", "m"}, {"a"}}, {{"a"}, {"b"}}, {{"c"}, {"a"}}},
                         {},
                         "Duplicate output key 'a': produced by index 0 and 2"},
        ConstructionCase{"CycleBeforeMissing",
                         {{{"b", "m"}, {"a"}}, {{"a"}, {"b"}}},
                         {},
                         "Cyclic dependency detected among features"},
        // List order decides, not execution order (index 1 runs first).
        ConstructionCase{"AllMissingInOrderOfFirstUseInTheList",
                         {{{"t1", "m2", "c"}, {"t0"}}, {{"m1", "m2", "c", "q\""}, {"t1"}}, {{"m1"}, {"t2"}}},
                         {"c", "unused"},
                         "Missing input column(s): [\"m2\", \"m1\", \"q\\\"\"]"}),
    [](const auto& info) { return info.param.name; });

TEST(FeaturePipeline, ReportsConfiguration) {
  auto p = FeaturePipeline::create(
               transforms(owned(Ema::create({"s"}, 3, {"e"})), owned(Sma::create({"c"}, 5, {"s"})),
                          std::make_unique<FakeTransform>(Names{"c"}, Names{"f"}, 1, 0.0, 2)),
               {"c", "unused"})
               .value();
  EXPECT_EQ(p.len(), 3u);
  EXPECT_EQ(p.warm_up_period(), 4u);  // the largest, not the sum along the chain
  EXPECT_EQ(p.input_columns(), (Names{"c", "unused"}));
  EXPECT_EQ(p.input_names(), p.input_columns());
  EXPECT_EQ(p.output_names(), (Names{"s", "f", "e"}));
}

// ---------------------------------------------------------------- live step

TEST(FeaturePipeline, WrongNumberOfValuesFailsAndChangesNothing) {
  auto make = [] {
    return FeaturePipeline::create(
               transforms(owned(Ema::create({"s"}, 2, {"e"})), owned(Sma::create({"close"}, 2, {"s"}))),
               {"close", "high"})
        .value();
  };
  auto p = make();
  auto clean = make();
  const std::vector<Series> good = {{1.0, 9.0}, {2.0, 9.0}, {4.0, 9.0}, {7.0, 9.0}};

  for (std::size_t t = 0; t < good.size(); ++t) {
    if (t == 2) {
      const auto fewer = p.update(Series{5.0});
      ASSERT_FALSE(fewer);
      EXPECT_EQ(fewer.error().display(),
                "Invalid input: expected 2 input value(s) [\"close\", \"high\"], got 1");
      const auto more = p.update(Series{5.0, 1.0, 2.0});
      ASSERT_FALSE(more);
      EXPECT_EQ(more.error().display(),
                "Invalid input: expected 2 input value(s) [\"close\", \"high\"], got 3");
    }
    expect_same_row(p.update(good[t]).value(), update_ok(clean, good[t]));
  }
}

TEST(FeaturePipeline, NoInputColumnsMessageShowsEmptyList) {
  auto p = FeaturePipeline::create(transforms(fake({"s"}, {"s"})), {}).value();
  EXPECT_EQ(p.update(Series{1.0}).error().display(), "Invalid input: expected 0 input value(s) [], got 1");
  expect_same_row(p.update(Series{}).value(), Series{std::nullopt});
}

TEST(FeaturePipeline, ResultsFollowTheStagesAndMatchByNameInAnyListOrder) {
  auto build = [](bool reversed) {
    Transforms list =
        transforms(std::make_unique<FakeTransform>(Names{"close"}, Names{"ret"}, 1, 0.5),
                   owned(Ema::create({"ret"}, 2, {"ret_z"})), owned(Sma::create({"close"}, 2, {"sma"})));
    if (reversed) std::reverse(list.begin(), list.end());
    return FeaturePipeline::create(std::move(list), {"close"}).value();
  };
  auto forward = build(false);
  auto backward = build(true);
  EXPECT_EQ(forward.output_names(), (Names{"ret", "sma", "ret_z"}));
  EXPECT_EQ(backward.output_names(), (Names{"sma", "ret", "ret_z"}));
  const std::vector<Series> bars = {{10.0}, {12.0}, {std::nullopt}, {11.0}, {13.0}, {14.0}};
  for (const auto& bar : bars) {
    const Series f = update_ok(forward, bar);
    const Series b = update_ok(backward, bar);
    for (std::size_t k = 0; k < f.size(); ++k) {
      const auto& name = forward.output_names()[k];
      const auto j = std::find(backward.output_names().begin(), backward.output_names().end(), name) -
                     backward.output_names().begin();
      EXPECT_TRUE(same_value(f[k], b[j])) << name;
    }
  }
}

TEST(FeaturePipeline, OutputShadowsInputColumnAndSelfReadsSeeTheTableWhenRun) {
  // "x" and "y" are input columns and also produced. "y" reads itself, so it
  // sees the input column y and then replaces it: the producer of "x" reads
  // that new y. Readers of x see the producer, not the column. "s" reads
  // itself with no such column and sees nothing.
  auto p =
      FeaturePipeline::create(transforms(fake({"x"}, {"rx"}), fake({"y"}, {"x"}), fake({"s"}, {"s"}),
                                         std::make_unique<FakeTransform>(Names{"y"}, Names{"y"}, 1, 100.0),
                                         fake({"y", "x"}, {"ry", "rx2"})),
                              {"x", "y"})
          .value();
  EXPECT_EQ(p.output_names(), (Names{"s", "y", "x", "rx", "ry", "rx2"}));
  expect_same_row(p.update(Series{1.0, 2.0}).value(),
                  Series{std::nullopt, 102.0, 102.0, 102.0, 102.0, 204.0});
  expect_same_row(p.update(Series{std::nullopt, 3.0}).value(),
                  Series{std::nullopt, 203.0, 203.0, 203.0, 203.0, 406.0});
}

TEST(FeaturePipeline, NamesWithoutValuesAreAbsentInTheirOwnPlace) {
  // Sma gives one value for two names; the fake gives one for {"p", "x"}.
  // "x" also is an input column, but its readers see the absent value the
  // result shows, not the column.
  auto p = FeaturePipeline::create(transforms(owned(Sma::create({"a"}, 1, {"m", "m_extra"})),
                                              std::make_unique<FakeTransform>(Names{"a"}, Names{"p", "x"}, 1),
                                              fake({"x"}, {"rx"}), fake({"a"}, {"q"})),
                                   {"a", "x"})
               .value();
  EXPECT_EQ(p.output_names(), (Names{"m", "m_extra", "p", "x", "q", "rx"}));
  const auto got = p.update(Series{3.0, 7.0}).value();
  ASSERT_EQ(got.size(), p.output_names().size());
  expect_same_row(got, Series{3.0, std::nullopt, 3.0, std::nullopt, 3.0, std::nullopt});
}

TEST(FeaturePipeline, ValuesBeyondTheOutputNamesAreDropped) {
  auto p = FeaturePipeline::create(transforms(std::make_unique<FakeTransform>(Names{"a", "b"}, Names{"p"}, 3),
                                              fake({"b"}, {"q"})),
                                   {"a", "b"})
               .value();
  expect_same_row(p.update(Series{3.0, 5.0}).value(), Series{3.0, 5.0});
}

// Random pipelines of Sma, Ema and fakes, with shadowed columns, self-reads,
// unused columns and transforms giving fewer or more values than names.
struct RandomPipeline {
  Transforms features;
  Names columns;
};

RandomPipeline random_pipeline(std::mt19937& rng) {
  const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  const auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };
  const std::size_t n = 1 + pick(7);

  // Plain columns are never produced; a shadowable name may be produced by
  // one transform and is then read only by it or by later ones, which keeps
  // the graph acyclic.
  const Names plain = {"c0", "c1", "c2"};
  const Names shadowable = {"x0", "x1", "x2"};
  std::vector<std::size_t> shadower(shadowable.size(), n);
  for (auto& s : shadower) {
    if (chance(0.6)) s = pick(n);
  }
  const auto column_for = [&](std::size_t i) {
    const std::size_t k = pick(shadowable.size() + plain.size());
    if (k >= shadowable.size()) return plain[k - shadowable.size()];
    return shadower[k] <= i || shadower[k] == n ? shadowable[k] : plain[pick(plain.size())];
  };

  std::vector<Names> inputs, outputs;
  std::unordered_set<std::string> produced;
  for (std::size_t i = 0; i < n; ++i) {
    Names out;
    for (std::size_t k = 0; k < shadowable.size(); ++k) {
      if (shadower[k] == i) out.push_back(shadowable[k]);
    }
    const std::size_t n_out = 1 + pick(3);
    for (std::size_t k = 0; k < n_out; ++k) out.push_back("o" + std::to_string(i) + "_" + std::to_string(k));
    std::shuffle(out.begin(), out.end(), rng);
    produced.insert(out.begin(), out.end());

    Names in;
    const std::size_t n_in = 1 + pick(3);
    for (std::size_t k = 0; k < n_in; ++k) {
      const auto source = pick(10);
      if (source < 4 || i == 0) {
        in.push_back(column_for(i));
      } else if (source < 9) {
        const auto& from = outputs[pick(i)];
        in.push_back(from[pick(from.size())]);
      } else {
        in.push_back(out[pick(out.size())]);
      }
    }
    inputs.push_back(in);
    outputs.push_back(out);
  }

  RandomPipeline r;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t kind = pick(3);
    const std::size_t window = 1 + pick(4);
    if (kind == 0) {
      r.features.push_back(owned(Sma::create(inputs[i], window, outputs[i])));
    } else if (kind == 1) {
      r.features.push_back(owned(Ema::create(inputs[i], window, outputs[i])));
    } else {
      const std::size_t values = pick(outputs[i].size() + 2);
      r.features.push_back(std::make_unique<FakeTransform>(inputs[i], outputs[i],
                                                           std::min<std::size_t>(values, 4), 0.25 * pick(3)));
    }
  }
  std::shuffle(r.features.begin(), r.features.end(), rng);

  std::unordered_set<std::string> columns;
  for (std::size_t i = 0; i < n; ++i) {
    for (const auto& name : inputs[i]) {
      if (!produced.contains(name) || chance(0.3)) columns.insert(name);
    }
  }
  for (const auto& name : shadowable) {
    if (produced.contains(name) && chance(0.3)) columns.insert(name);
  }
  if (chance(0.5)) columns.insert("unused");
  r.columns.assign(columns.begin(), columns.end());
  std::sort(r.columns.begin(), r.columns.end());
  std::shuffle(r.columns.begin(), r.columns.end(), rng);
  return r;
}

TEST(FeaturePipeline, RoutingMatchesPerBarNameTableOnRandomPipelines) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> value(-5.0, 5.0);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    auto [features, columns] = random_pipeline(rng);
    auto made = FeaturePipeline::create(std::move(features), columns);
    ASSERT_TRUE(made) << made.error().display();
    auto& p = *made;
    NameTableReference reference(p);

    std::vector<Series> bars(25);
    for (auto& bar : bars) {
      for (std::size_t i = 0; i < columns.size(); ++i) {
        bar.push_back(std::bernoulli_distribution(0.15)(rng) ? OptionalValue() : OptionalValue(value(rng)));
      }
    }
    std::vector<Series> expected;
    for (const auto& bar : bars) {
      expected.push_back(reference.update(bar));
      ASSERT_EQ(expected.back().size(), p.output_names().size());
      expect_same_row(p.update(bar).value(), expected.back());
    }
    const auto research = p.run_research(bars).value();
    ASSERT_EQ(research.size(), bars.size());
    for (std::size_t t = 0; t < bars.size(); ++t) expect_same_row(research[t], expected[t]);

    // Column by column in chunks, on one to three threads: the same rows,
    // and the state live updates carry on from (one bar past the data, for
    // both the reference and p).
    const std::size_t chunk = 1 + trial % 9;
    auto run = p.start_columns(chunk, 1 + trial % 3);
    for (std::size_t begin = 0; begin < bars.size(); begin += chunk) {
      const std::size_t n = std::min(chunk, bars.size() - begin);
      for (std::size_t j = 0; j < columns.size(); ++j) {
        for (std::size_t i = 0; i < n; ++i) run.inputs()[j].set(i, bars[begin + i][j]);
      }
      run.run(n);
      for (std::size_t i = 0; i < n; ++i) {
        Series row;
        for (const ColumnIn& column : run.outputs()) row.push_back(column.at(i));
        expect_same_row(row, expected[begin + i]);
      }
    }
    const Series next(columns.size(), 1.5);
    expect_same_row(p.update(next).value(), reference.update(next));
  }
}

TEST(FeaturePipeline, LiveUpdateDoesNotAllocate) {
  auto p = FeaturePipeline::create(
               transforms(owned(Sma::create({"close"}, 5, {"sma", "sma_unused"})),
                          owned(Ema::create({"sma", "high"}, 3, {"ema"})),
                          std::make_unique<FakeTransform>(Names{"high", "ema"}, Names{"shadow"}, 4, 0.5),
                          std::make_unique<FakeTransform>(Names{"shadow", "sma"}, Names{"a", "b", "c"}, 1),
                          fake({"self"}, {"self"})),
               {"close", "high", "shadow"})
               .value();
  std::vector<Series> bars;
  for (int t = 0; t < 64; ++t)
    bars.push_back({1.0 + t, t % 7 == 3 ? OptionalValue() : OptionalValue(2.0 * t), 0.0});

  const testing::AllocationCounter allocations;
  double checksum = 0.0;
  for (const auto& bar : bars) {
    const auto out = p.update(bar);
    for (const auto& v : *out) checksum += v.value_or(0.0);
  }
  p.reset();
  EXPECT_EQ(allocations.count(), 0u);
  EXPECT_NE(checksum, 0.0);
}

// ---------------------------------------------------------------- research mode

FeaturePipeline research_pipeline() {
  return FeaturePipeline::create(
             transforms(owned(Ema::create({"s"}, 2, {"e"})), owned(Sma::create({"c"}, 3, {"s"})),
                        std::make_unique<FakeTransform>(Names{"c"}, Names{"d"}, 1, 1.0)),
             {"c"})
      .value();
}

const std::vector<Series> research_bars = {{1.0}, {4.0}, {2.0}, {std::nullopt}, {5.0}, {6.0}, {8.0}, {3.0}};

TEST(FeaturePipeline, ResearchStartsCleanEveryCall) {
  auto p = research_pipeline();
  const auto first = p.run_research(research_bars).value();
  ASSERT_EQ(first.size(), research_bars.size());
  EXPECT_EQ(first[0].size(), 3u);

  auto live = research_pipeline();
  for (std::size_t t = 0; t < research_bars.size(); ++t)
    expect_same_row(first[t], update_ok(live, research_bars[t]));

  for (const auto& bar : research_bars) (void)p.update(bar);  // live bars in between are forgotten
  EXPECT_EQ(p.run_research(research_bars).value(), first);

  // Live updates continue from the state after the last bar.
  EXPECT_EQ(update_ok(p, {9.0}), update_ok(live, {9.0}));
}

TEST(FeaturePipeline, ResearchOnNoBarsReturnsNothingAndLeavesTransformsReset) {
  auto p = research_pipeline();
  for (const auto& bar : research_bars) (void)p.update(bar);
  EXPECT_TRUE(p.run_research({}).value().empty());
  auto clean = research_pipeline();
  for (const auto& bar : research_bars) EXPECT_EQ(update_ok(p, bar), update_ok(clean, bar));
}

TEST(FeaturePipeline, MalformedBarEndsResearchAfterTheLastGoodBar) {
  auto p = research_pipeline();
  std::vector<Series> bars(research_bars.begin(), research_bars.begin() + 4);
  bars.push_back({1.0, 2.0});
  bars.push_back({7.0});
  const auto failed = p.run_research(bars);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().display(), "Invalid input: expected 1 input value(s) [\"c\"], got 2");

  auto reference = research_pipeline();
  for (std::size_t t = 0; t < 4; ++t) (void)reference.update(research_bars[t]);
  EXPECT_EQ(update_ok(p, {7.0}), update_ok(reference, {7.0}));
}

TEST(FeaturePipeline, ResearchFromCallbacksEmitsEveryGoodBarInOrderThenStops) {
  auto p = research_pipeline();
  std::vector<Series> bars(research_bars.begin(), research_bars.begin() + 4);
  bars.push_back({});
  bars.push_back({7.0});
  std::vector<std::size_t> read;
  std::vector<std::pair<std::size_t, Series>> emitted;
  const auto done = p.run_research(
      bars.size(),
      [&](std::size_t i) {
        read.push_back(i);
        return std::span<const OptionalValue>(bars[i]);
      },
      [&](std::size_t i, std::span<const OptionalValue> r) { emitted.emplace_back(i, row(r)); });
  ASSERT_FALSE(done);
  EXPECT_EQ(done.error().display(), "Invalid input: expected 1 input value(s) [\"c\"], got 0");
  EXPECT_EQ(read, (std::vector<std::size_t>{0, 1, 2, 3, 4}));  // nothing past the bad bar

  auto live = research_pipeline();
  ASSERT_EQ(emitted.size(), 4u);
  for (std::size_t t = 0; t < 4; ++t) {
    EXPECT_EQ(emitted[t].first, t);
    expect_same_row(emitted[t].second, update_ok(live, bars[t]));
  }
}

// Every step runs once a round, after the steps it waits for; a step that
// throws ends the round with its error and leaves the workers usable.
TEST(StepWorkers, RunsEachStepAfterItsDependenciesAndRethrowsAFailure) {
  const std::vector<std::vector<std::size_t>> after = {{}, {0}, {}, {1, 2}, {}};
  StepWorkers workers(after, 3);
  for (int round = 0; round < 200; ++round) {
    std::array<std::atomic<int>, 5> done{};
    workers.round([&](std::size_t s) {
      for (const std::size_t d : after[s])
        EXPECT_EQ(done[d].load(), 1) << "step " << s << " ran before " << d;
      done[s].store(1);
    });
    for (const auto& d : done) EXPECT_EQ(d.load(), 1);
  }
  EXPECT_THROW(workers.round([](std::size_t s) {
    if (s == 1) throw std::runtime_error("step 1");
  }),
               std::runtime_error);
  std::atomic<int> ran = 0;
  workers.round([&](std::size_t) { ran.fetch_add(1); });
  EXPECT_EQ(ran.load(), 5);
}

}  // namespace
}  // namespace vexal
