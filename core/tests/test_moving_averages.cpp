#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "features/ema.hpp"
#include "features/sma.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

TEST(Sma, AveragesFullWindows) {
  auto sma = Sma::create({"c"}, 3, {"s"}).value();
  EXPECT_EQ(run(sma, {1, 2, 3, 4}), (Series{std::nullopt, std::nullopt, 2.0, 3.0}));
}

}  // namespace
}  // namespace vexal
