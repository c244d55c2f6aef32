#include "traits.hpp"

#include <algorithm>

#include "internal_failure.hpp"

namespace vexal {

void fresh_failed() { throw InternalFailure("fresh: config was already validated at construction"); }

void StreamingTransform::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                        std::size_t n) {
  std::vector<OptionalValue> bar(in.size());
  for (std::size_t t = 0; t < n; ++t) {
    for (std::size_t j = 0; j < in.size(); ++j) bar[j] = in[j].at(t);
    const UpdateResult produced = update(bar);
    const std::span<const OptionalValue> values = produced.values();
    const std::size_t given = std::min(out.size(), values.size());
    for (std::size_t k = 0; k < given; ++k) out[k].set(t, values[k]);
    for (std::size_t k = given; k < out.size(); ++k) out[k].set_absent(t);
  }
}

void Target::run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                               std::span<const ColumnOut> out, std::size_t count) const {
  std::vector<Series> columns(in.size(), Series(m));
  for (std::size_t j = 0; j < in.size(); ++j) {
    for (std::size_t i = 0; i < m; ++i) columns[j][i] = in[j].at(i);
  }
  const std::vector<ColumnView> views(columns.begin(), columns.end());
  const std::vector<Series> labels = run_research(views);
  for (std::size_t k = 0; k < out.size(); ++k) {
    for (std::size_t t = 0; t < count; ++t) {
      const bool has = k < labels.size() && first + t < labels[k].size();
      out[k].set(t, has ? labels[k][first + t] : std::nullopt);
    }
  }
}

}  // namespace vexal
