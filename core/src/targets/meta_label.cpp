#include "targets/meta_label.hpp"

#include <algorithm>
#include <cmath>

#include "internal_failure.hpp"
#include "transform_base.hpp"

namespace vexal {
namespace {

// A NaN has no sign: it counts as absent.
OptionalValue meta(const OptionalValue& label, const OptionalValue& side) {
  if (!label || !side || std::isnan(*label) || std::isnan(*side) || *side == 0.0) return std::nullopt;
  if (*label == 0.0) return 0.0;
  return (*side > 0.0) == (*label > 0.0) ? 1.0 : 0.0;
}

}  // namespace

std::expected<MetaLabel, VexalError> MetaLabel::create(Names inputs, Names outputs) {
  if (inputs.size() != 2) return invalid_input("inputs must contain exactly 2 names: [label, side]");
  if (std::ranges::any_of(inputs, [](const std::string& name) { return name.empty(); })) {
    return invalid_input("input names must not be empty");
  }
  if (outputs.size() != 1) return invalid_input("outputs must contain exactly 1 name: [meta]");
  return MetaLabel(std::move(inputs), std::move(outputs));
}

void MetaLabel::save(SnapshotWriter& out) const {
  out.text(snapshot_tag);
  out.names(inputs_);
  out.names(outputs_);
}

std::expected<MetaLabel, VexalError> MetaLabel::load(SnapshotReader& in) {
  Names inputs = in.names("input names");
  Names outputs = in.names("output names");
  auto made = in.built(snapshot_tag, create(std::move(inputs), std::move(outputs)));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

std::vector<Series> MetaLabel::run_research(std::span<const ColumnView> columns) const {
  require_values(columns, 2);
  const ColumnView label = columns[0];
  const ColumnView side = columns[1];
  std::vector<Series> out(1, Series(label.size()));
  for (std::size_t t = 0; t < label.size(); ++t) {
    out[0][t] = meta(label[t], t < side.size() ? side[t] : std::nullopt);
  }
  return out;
}

void MetaLabel::run_research_into(std::span<const ColumnIn> in, std::size_t, std::size_t first,
                                  std::span<const ColumnOut> out, std::size_t count) const {
  require_values(in, 2);
  require_values(out, 1);
  for (std::size_t t = 0; t < count; ++t) out[0].set(t, meta(in[0].at(first + t), in[1].at(first + t)));
  set_absent_from(out, 1, count);
}

}  // namespace vexal
