#pragma once

#include <expected>
#include <span>
#include <utility>

#include "error.hpp"
#include "optional_value.hpp"

namespace vexal {

// Mean and sample standard deviation (divisor n - 1) of the present values of
// a training column, absent ones skipped, for configuring a FixedZScore.
// Fails when fewer than two values are present or all of them are equal.
[[nodiscard]] std::expected<std::pair<double, double>, VexalError> fit_standard_scaler(
    std::span<const OptionalValue> data);

}  // namespace vexal
