#include "book/cross_section.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "book/exact_sum.hpp"
#include "transform_base.hpp"

namespace vexal {

std::string_view cross_kind_name(CrossKind kind) {
  switch (kind) {
    case CrossKind::Rank:
      return "CrossRank";
    case CrossKind::ZScore:
      return "CrossZScore";
    case CrossKind::Demean:
      return "CrossDemean";
  }
  return "";
}

std::optional<CrossKind> cross_kind_named(std::string_view name) {
  for (CrossKind k : {CrossKind::Rank, CrossKind::ZScore, CrossKind::Demean}) {
    if (cross_kind_name(k) == name) return k;
  }
  return std::nullopt;
}

std::expected<std::optional<std::int64_t>, VexalError> group_code(double v, std::string_view column) {
  if (std::isnan(v)) return std::nullopt;
  // 2^63 is the first double beyond int64; the check keeps the cast defined.
  if (!std::isfinite(v) || v != std::trunc(v) || std::fabs(v) >= 9223372036854775808.0) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return invalid_input("groups column \"" + std::string(column) + "\" holds " + text +
                         ", which is not an integer group code");
  }
  return static_cast<std::int64_t>(v);
}

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One group's members, `members` indices into x, out written for each.
void one_group(CrossKind kind, std::span<const double> x, std::span<std::size_t> members,
               std::span<double> out, CrossScratch& scratch) {
  const std::size_t n = members.size();
  if (kind == CrossKind::Rank) {
    // Values sorted beside their members, not through them: the sort then
    // reads one array in order instead of jumping about in x.
    auto& ranked = scratch.ranked;
    ranked.clear();
    for (const std::size_t m : members) ranked.emplace_back(x[m], m);
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto count = static_cast<double>(n);
    for (std::size_t i = 0; i < n;) {
      std::size_t j = i;
      while (j + 1 < n && ranked[j + 1].first == ranked[i].first) ++j;
      // Ranks i + 1 .. j + 1, averaged: an exact half-integer.
      const double rank = (static_cast<double>(i + 1) + static_cast<double>(j + 1)) / 2.0;
      for (std::size_t k = i; k <= j; ++k) out[ranked[k].second] = rank / count;
      i = j + 1;
    }
    return;
  }
  scratch.values.clear();
  for (std::size_t m : members) scratch.values.push_back(x[m]);
  const double mean = exact_sum(scratch.values, scratch.partials) / static_cast<double>(n);
  if (kind == CrossKind::Demean) {
    for (std::size_t m : members) out[m] = x[m] - mean;
    return;
  }
  if (n < 2) {
    for (std::size_t m : members) out[m] = kNaN;
    return;
  }
  for (double& v : scratch.values) v = (v - mean) * (v - mean);
  const double m2 = exact_sum(scratch.values, scratch.partials);
  const double sd = std::sqrt(m2 / static_cast<double>(n - 1));
  for (std::size_t m : members) {
    // A window with no spread has no z-score (0 / 0).
    out[m] = sd == 0.0 ? kNaN : (x[m] - mean) / sd;
  }
}

}  // namespace

void cross_section(CrossKind kind, std::span<const double> x, std::span<const std::int64_t> groups,
                   std::span<const std::uint8_t> part, std::span<double> out, CrossScratch& scratch) {
  std::fill(out.begin(), out.end(), kNaN);
  auto& order = scratch.order;
  order.clear();
  for (std::size_t s = 0; s < x.size(); ++s) {
    if (part[s] != 0 && std::isfinite(x[s])) order.push_back(s);
  }
  if (groups.empty()) {
    one_group(kind, x, order, out, scratch);
    return;
  }
  // Members of a group side by side, in symbol order within it.
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return groups[a] < groups[b]; });
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i;
    while (j < order.size() && groups[order[j]] == groups[order[i]]) ++j;
    one_group(kind, x, std::span(order).subspan(i, j - i), out, scratch);
    i = j;
  }
}

}  // namespace vexal
