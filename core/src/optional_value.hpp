#pragma once

#include <optional>
#include <span>
#include <vector>

namespace vexal {

// A bar value: present, or absent when the input was missing or invalid.
// Absent is the only marker of a missing value inside the core; a present
// value may still be NaN or infinite when arithmetic produced one.
using OptionalValue = std::optional<double>;

// A whole column, oldest bar first, as owned by a target's result.
using Series = std::vector<OptionalValue>;

// A read-only view of one input column (research mode of targets).
using ColumnView = std::span<const OptionalValue>;

}  // namespace vexal
