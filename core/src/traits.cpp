#include "traits.hpp"

#include <algorithm>
#include <array>

#include "internal_failure.hpp"

namespace vexal {

namespace {

// Bar t's values into the output columns; names beyond them are absent.
void write_row(std::span<const ColumnOut> out, std::size_t t, const UpdateResult& produced) {
  const std::span<const OptionalValue> values = produced.values();
  const std::size_t given = std::min(out.size(), values.size());
  for (std::size_t k = 0; k < given; ++k) out[k].set(t, values[k]);
  for (std::size_t k = given; k < out.size(); ++k) out[k].set_absent(t);
}

}  // namespace

void fresh_failed() { throw InternalFailure("fresh: config was already validated at construction"); }

void StreamingTransform::update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                        std::size_t n) {
  std::vector<OptionalValue> bar(in.size());
  for (std::size_t t = 0; t < n; ++t) {
    for (std::size_t j = 0; j < in.size(); ++j) bar[j] = in[j].at(t);
    write_row(out, t, update(bar));
  }
}

void StreamingTransform::update_across(std::span<StreamingTransform* const> peers,
                                       std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                                       bool commit) {
  // A transform reads a handful of columns: its bar sits on the stack.
  constexpr std::size_t kInline = 8;
  std::array<OptionalValue, kInline> inline_bar;
  std::vector<OptionalValue> heap_bar(in.size() > kInline ? in.size() : 0);
  const std::span<OptionalValue> bar(in.size() > kInline ? heap_bar.data() : inline_bar.data(), in.size());
  for (std::size_t i = 0; i < peers.size(); ++i) {
    for (std::size_t j = 0; j < in.size(); ++j) bar[j] = in[j].at(i);
    write_row(out, i, commit ? peers[i]->update(bar) : peers[i]->peek(bar));
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
