#include <gtest/gtest.h>

#include <cstddef>
#include <deque>
#include <vector>

#include "value_buffer.hpp"

// A buffer beyond a few million elements keeps a single copy of its
// contents and rearranges them in place when read as one run; the small
// buffers of the other tests never take that road. These run it against a
// plain deque, wrapped and unwrapped, with an absent entry among them.

namespace vexal {
namespace {

// Larger than the capacity up to which the buffer keeps mirror slots.
constexpr std::size_t kLarge = (std::size_t{1} << 22) + 7;

::testing::AssertionResult same_contents(ValueBuffer& b, const std::deque<double>& model) {
  if (b.size() != model.size()) return ::testing::AssertionFailure() << b.size() << " != " << model.size();
  for (std::size_t i : {std::size_t{0}, model.size() / 3, model.size() / 2, model.size() - 1}) {
    if (model.empty()) break;
    if (b[i] != OptionalValue(model[i]))
      return ::testing::AssertionFailure() << "element " << i << " before the rearrangement";
  }
  const auto run = b.make_contiguous();
  if (run.size() != model.size()) return ::testing::AssertionFailure() << "run of " << run.size();
  for (std::size_t i = 0; i < model.size(); ++i) {
    if (run[i] != model[i] || b[i] != OptionalValue(model[i])) {
      return ::testing::AssertionFailure() << "element " << i << ": " << run[i] << " != " << model[i];
    }
  }
  return ::testing::AssertionSuccess();
}

// A peek's push and undo around a rearrangement of the single copy.
TEST(LargeValueBuffer, AnUndonePushSurvivesTheRearrangement) {
  auto b = ValueBuffer::with_capacity(kLarge).value();
  std::deque<double> model;
  for (std::size_t i = 0; i < kLarge + 1000; ++i) {
    b.push_back(static_cast<double>(i));
    model.push_back(static_cast<double>(i));
    if (model.size() > kLarge) model.pop_front();
  }
  const auto displaced = b.push_back_undoable(-1.0);
  EXPECT_EQ(b.make_contiguous().back(), -1.0);
  b.undo(displaced);
  EXPECT_TRUE(same_contents(b, model));
}

TEST(LargeValueBuffer, ReadsAsOneRunAtEveryStage) {
  auto b = ValueBuffer::with_capacity(kLarge).value();
  std::deque<double> model;
  double next = 0.0;
  auto push = [&](std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      b.push_back(next);
      model.push_back(next);
      if (model.size() > kLarge) model.pop_front();
      next += 1.0;
    }
  };
  push(1000);  // partly filled, not wrapped
  EXPECT_TRUE(same_contents(b, model));
  push(kLarge);  // full and wrapped by 1000
  EXPECT_TRUE(b.full());
  EXPECT_TRUE(same_contents(b, model));
  push(12345);  // wraps again from the rearranged state
  EXPECT_TRUE(same_contents(b, model));
  push(kLarge / 2 + 17);  // head far along
  EXPECT_TRUE(same_contents(b, model));
  b.clear();
  model.clear();
  push(3);
  EXPECT_TRUE(same_contents(b, model));
}

TEST(LargeValueBuffer, CountsAnAbsentEntryUntilItLeaves) {
  auto b = ValueBuffer::with_capacity(kLarge).value();
  b.push_back(std::nullopt);
  for (std::size_t i = 1; i < kLarge; ++i) b.push_back(static_cast<double>(i));
  EXPECT_EQ(b.absent(), 1u);
  EXPECT_FALSE(b.complete());
  EXPECT_EQ(b.make_contiguous().front(), 0.0);
  b.push_back(1.0);
  EXPECT_TRUE(b.complete());
  std::vector<double> seen;
  b.for_each([&](const OptionalValue& v) {
    if (seen.size() < 3) seen.push_back(*v);
  });
  EXPECT_EQ(seen, (std::vector<double>{1.0, 2.0, 3.0}));
}

}  // namespace
}  // namespace vexal
