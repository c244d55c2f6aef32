#pragma once

#include <cstddef>

namespace vexal::testing {

// Calls of the global operator new (every form) since the test binary
// started, on any thread. The replacement operators live in
// alloc_counter.cpp.
[[nodiscard]] std::size_t allocation_count();

// Counts the allocations made while it is alive:
//   AllocationCounter allocations;
//   t.update(bar);
//   EXPECT_EQ(allocations.count(), 0u);
class AllocationCounter {
 public:
  AllocationCounter() : start_(allocation_count()) {}
  [[nodiscard]] std::size_t count() const { return allocation_count() - start_; }

 private:
  std::size_t start_;
};

}  // namespace vexal::testing
