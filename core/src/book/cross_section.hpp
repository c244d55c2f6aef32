#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.hpp"

namespace vexal {

// Features of one symbol against the others at the same bar, over the
// symbols that have a finite value (the rest take no part and get NaN),
// within each group when group codes are given:
//   rank    the average rank of ties over the count, as pandas'
//           rank(method="average", pct=True);
//   zscore  (x − mean) / √(m2 / (n − 1)), NaN below two values;
//   demean  x − mean;
// with mean = S / n and m2 the sum of (x − mean)², each sum correctly
// rounded, so no result depends on the order the symbols are held in.
enum class CrossKind : std::uint8_t { Rank, ZScore, Demean };

struct CrossFeature {
  CrossKind kind;
  std::string input;
  std::string output;
  std::optional<std::string> groups;  // a column of integer group codes
};

[[nodiscard]] std::string_view cross_kind_name(CrossKind kind);
[[nodiscard]] std::optional<CrossKind> cross_kind_named(std::string_view name);

// Scratch a cross-sectional step keeps between bars, so a bar allocates
// only when the universe has grown.
struct CrossScratch {
  std::vector<std::size_t> order;
  std::vector<double> values;
  std::vector<double> partials;
  std::vector<std::pair<double, std::size_t>> ranked;  // (value, member), sorted by value
};

// One bar of one cross-sectional feature: `x` holds every symbol's value
// (NaN or infinite: no part), `groups` its group code or is empty (one
// group), `part` says which symbols take part at all; `out` gets one value
// per symbol, NaN where there is none.
void cross_section(CrossKind kind, std::span<const double> x, std::span<const std::int64_t> groups,
                   std::span<const std::uint8_t> part, std::span<double> out, CrossScratch& scratch);

// A group code read from a column: an integral finite value, or absent
// (NaN: the symbol takes no part); anything else is refused naming it.
[[nodiscard]] std::expected<std::optional<std::int64_t>, VexalError> group_code(double v,
                                                                                std::string_view column);

}  // namespace vexal
