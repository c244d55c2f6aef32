#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "alloc_counter.hpp"
#include "internal_failure.hpp"
#include "optional_value.hpp"
#include "value_buffer.hpp"

namespace vexal {
namespace {

std::vector<double> contents(const ValueBuffer& b) {
  std::vector<double> out;
  b.for_each([&](const OptionalValue& v) { out.push_back(v.value_or(-1.0)); });
  return out;
}

TEST(ValueBuffer, KeepsTheLatestCapacityElementsOldestFirst) {
  auto b = ValueBuffer::with_capacity(3).value();
  for (double x : {1.0, 2.0, 3.0, 4.0, 5.0}) b.push_back(x);
  EXPECT_TRUE(b.full());
  EXPECT_EQ(contents(b), (std::vector<double>{3, 4, 5}));
  EXPECT_EQ(b.front(), 3.0);
  EXPECT_EQ(b.back(), 5.0);
}

TEST(ValueBuffer, MakeContiguousPreservesOrderForEveryRotation) {
  for (std::size_t capacity = 1; capacity <= 5; ++capacity) {
    for (std::size_t pushes = 0; pushes <= 12; ++pushes) {
      for (std::size_t absent = 0; absent <= capacity; ++absent) {
        auto b = ValueBuffer::with_capacity(capacity).value();
        for (std::size_t i = 0; i < pushes; ++i) {
          b.push_back(i % (absent + 1) == 1 ? std::nullopt : OptionalValue(static_cast<double>(i)));
        }
        std::vector<double> before = contents(b);
        for (double& v : before) v = v < 0.0 ? 0.0 : v;  // the run holds 0.0 for an absent entry
        const auto run = b.make_contiguous();
        EXPECT_EQ(std::vector<double>(run.begin(), run.end()), before);
        b.push_back(99.0);  // still a working ring afterwards
        EXPECT_EQ(b.back(), 99.0);
      }
    }
  }
}

// An undone push leaves the contents as they were, whether it dropped the
// oldest element and whether the storage was rearranged in between.
TEST(ValueBuffer, AnUndonePushLeavesTheContentsAsTheyWere) {
  for (std::size_t capacity = 0; capacity <= 4; ++capacity) {
    for (std::size_t pushes = 0; pushes <= 9; ++pushes) {
      for (const bool rearranged : {false, true}) {
        auto b = ValueBuffer::with_capacity(capacity).value();
        for (std::size_t i = 0; i < pushes; ++i) b.push_back(static_cast<double>(i));
        const std::vector<double> before = contents(b);
        const auto displaced = b.push_back_undoable(99.0);
        if (rearranged) (void)b.make_contiguous();
        b.undo(displaced);
        EXPECT_EQ(contents(b), before) << capacity << " " << pushes;
        b.push_back(7.0);  // the mirror slots were restored too
        const auto run = b.make_contiguous();
        EXPECT_EQ(std::vector<double>(run.begin(), run.end()), contents(b));
      }
    }
  }
}

TEST(ValueBuffer, OutOfRangeReadIsAnInternalFailure) {
  auto b = ValueBuffer::with_capacity(2).value();
  b.push_back(1.0);
  EXPECT_THROW((void)b[1], InternalFailure);
  EXPECT_EQ(b[0], 1.0);
}

TEST(ValueBuffer, ImpossibleReservationsAreOrderlyErrors) {
  const auto overflow = ValueBuffer::with_capacity(std::numeric_limits<std::size_t>::max());
  ASSERT_FALSE(overflow.has_value());
  EXPECT_EQ(overflow.error().display(), "Invalid input: window is too large");
  EXPECT_FALSE(ValueBuffer::with_capacity(std::size_t{1} << 62).has_value());
  EXPECT_FALSE(reserve_window(std::numeric_limits<std::size_t>::max(), 1).has_value());
  EXPECT_EQ(reserve_window(std::numeric_limits<std::size_t>::max(), 1).error().display(),
            "Invalid input: window is too large");
}

TEST(ValueBuffer, PushAndPopNeverAllocate) {
  auto b = ValueBuffer::with_capacity(8).value();
  testing::AllocationCounter allocations;
  for (int i = 0; i < 100; ++i) b.push_back(static_cast<double>(i));
  b.clear();
  EXPECT_EQ(allocations.count(), 0u);
}

// Random pushes (a third absent), taken-back pushes and clears against a
// deque: the entries, the absent count and the run of doubles agree, and
// pushing, undoing and reading never allocate.
TEST(ValueBuffer, TracksItsAbsentEntriesThroughPushesUndosAndWraps) {
  for (const std::size_t capacity : {std::size_t{1}, std::size_t{3}, std::size_t{8}}) {
    auto b = ValueBuffer::with_capacity(capacity).value();
    std::deque<OptionalValue> model;
    std::mt19937 rng(static_cast<unsigned>(capacity));
    std::size_t allocated = 0;
    for (int step = 0; step < 400; ++step) {
      const OptionalValue v = rng() % 3 == 0 ? std::nullopt : OptionalValue(static_cast<double>(step));
      const unsigned what = step % 97 == 0 ? 2 : rng() % 4 == 0 ? 1 : 0;
      std::span<const double> run;
      {
        const testing::AllocationCounter allocations;
        if (what == 1) b.undo(b.push_back_undoable(v));
        if (what == 2) b.clear();
        if (what == 0) b.push_back(v);
        run = b.make_contiguous();
        allocated += allocations.count();
      }
      if (what == 2) model.clear();
      if (what == 0) model.push_back(v);
      if (model.size() > capacity) model.pop_front();
      ASSERT_EQ(b.size(), model.size());
      std::size_t absent = 0;
      for (std::size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(b[i], model[i]) << "step " << step << ", entry " << i;
        EXPECT_EQ(run[i], model[i].value_or(0.0));
        absent += model[i] ? 0 : 1;
      }
      ASSERT_EQ(b.absent(), absent) << "step " << step;
      EXPECT_EQ(b.complete(), b.full() && absent == 0);
    }
    EXPECT_EQ(allocated, 0u);
  }
}

}  // namespace
}  // namespace vexal
