#include "pipeline/target_pipeline.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "internal_failure.hpp"
#include "snapshot/registry.hpp"
#include "text/list_form.hpp"

namespace vexal {

std::expected<TargetPipeline, VexalError> TargetPipeline::create(std::vector<std::unique_ptr<Target>> targets,
                                                                 Names input_columns) {
  if (targets.empty()) return std::unexpected(VexalError::invalid_config("targets must not be empty"));
  for (const auto& t : targets) {
    if (!t) throw InternalFailure("target pipeline: null target");
  }

  // Also answers "is this supplied?" below in constant time.
  std::unordered_set<std::string_view> seen_columns;
  seen_columns.reserve(input_columns.size());
  for (const auto& name : input_columns) {
    if (!seen_columns.insert(name).second) {
      return std::unexpected(VexalError::invalid_config("duplicate input column: \"" + name + "\""));
    }
  }

  Names output_names;
  std::unordered_map<std::string, std::size_t> producer;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    for (auto& name : targets[i]->output_names()) {
      const auto [it, inserted] = producer.try_emplace(name, i);
      if (!inserted) return std::unexpected(VexalError::duplicate_output_key(std::move(name), it->second, i));
      output_names.push_back(std::move(name));
    }
  }

  // A target's output is no source: targets read input columns only.
  Names missing;
  std::unordered_set<std::string> missing_seen;
  for (const auto& t : targets) {
    for (auto& name : t->input_names()) {
      if (!seen_columns.contains(name) && missing_seen.insert(name).second)
        missing.push_back(std::move(name));
    }
  }
  if (!missing.empty()) return std::unexpected(VexalError::missing_input_column(std::move(missing)));

  return TargetPipeline(std::move(targets), std::move(input_columns), std::move(output_names));
}

TargetPipeline::TargetPipeline(std::vector<std::unique_ptr<Target>> targets, Names input_columns,
                               Names output_names)
    : targets_(std::move(targets)),
      input_columns_(std::move(input_columns)),
      output_names_(std::move(output_names)) {
  std::unordered_map<std::string_view, std::size_t> column_index;
  for (std::size_t i = 0; i < input_columns_.size(); ++i) column_index.emplace(input_columns_[i], i);

  routing_.reserve(targets_.size());
  for (const auto& t : targets_) {
    Routing r{{}, t->output_names().size()};
    for (const auto& name : t->input_names()) r.columns.push_back(column_index.at(name));
    routing_.push_back(std::move(r));
    forward_period_ = std::max(forward_period_, t->forward_period());
    look_back_ = std::max(look_back_, t->warm_up_period());
  }
}

void TargetPipeline::save(SnapshotWriter& out) const {
  out.text(snapshot_tag);
  out.names(input_columns_);
  out.size(targets_.size());
  for (const auto& t : targets_) t->save(out);
}

std::expected<TargetPipeline, VexalError> TargetPipeline::load(SnapshotReader& in) {
  Names input_columns = in.names("input columns");
  const std::size_t count = in.count("target count", 4);
  std::vector<std::unique_ptr<Target>> targets;
  targets.reserve(count);
  for (std::size_t i = 0; i < count && in.ok(); ++i) {
    auto t = load_target(in);
    if (!t) return std::unexpected(std::move(t.error()));
    targets.push_back(std::move(*t));
  }
  auto made = in.built(snapshot_tag, create(std::move(targets), std::move(input_columns)));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

std::expected<void, VexalError> TargetPipeline::check_column_count(std::size_t count) const {
  if (count == input_columns_.size()) return {};
  return std::unexpected(VexalError::invalid_input("expected " + std::to_string(input_columns_.size()) +
                                                   " input column(s) " + list_form(input_columns_) +
                                                   ", got " + std::to_string(count)));
}

namespace {
// a + b, or the largest size where that wraps: a horizon may be any size.
std::size_t saturated(std::size_t a, std::size_t b) {
  return b > std::numeric_limits<std::size_t>::max() - a ? std::numeric_limits<std::size_t>::max() : a + b;
}
}  // namespace

TargetPipeline::SliceRun TargetPipeline::start_slices(std::size_t bars, std::size_t chunk) const {
  const std::size_t reach = saturated(look_back_, forward_period_);
  return SliceRun(*this, bars, std::max(chunk, reach > bars ? bars : 4 * reach));
}

TargetPipeline::SliceRun::SliceRun(const TargetPipeline& pipeline, std::size_t bars, std::size_t chunk)
    : pipeline_(&pipeline), bars_(bars), chunk_(std::max<std::size_t>(chunk, 1)) {
  const std::size_t width =
      std::min(bars, saturated(chunk_, saturated(pipeline.look_back_, pipeline.forward_period_)));
  for (std::size_t j = 0; j < pipeline.input_columns_.size(); ++j) in_.emplace_back(width);
  for (std::size_t k = 0; k < pipeline.output_names_.size(); ++k)
    labels_.emplace_back(std::min(bars, chunk_));
  for (auto& c : in_) {
    views_.push_back(c.in());
    inputs_.push_back(c.out());
  }
  for (auto& c : labels_) {
    sinks_.push_back(c.out());
    outputs_.push_back(c.in());
  }
}

TargetPipeline::SliceRun::Slice TargetPipeline::SliceRun::slice(std::size_t begin) const {
  const std::size_t count = std::min(chunk_, bars_ - begin);
  const std::size_t before = std::min(pipeline_->look_back_, begin);
  const std::size_t end = std::min(bars_, saturated(begin + count, pipeline_->forward_period_));
  return {begin - before, end - (begin - before), begin, count};
}

void TargetPipeline::SliceRun::run(const Slice& s) {
  if (pipeline_->run_research_into(views_, s.read_count, s.begin - s.read_begin, sinks_, s.count)) return;
  throw InternalFailure("target slice: the run's own columns were refused");
}

std::expected<void, VexalError> TargetPipeline::run_research_into(std::span<const ColumnIn> in, std::size_t m,
                                                                  std::size_t first,
                                                                  std::span<const ColumnOut> out,
                                                                  std::size_t count) const {
  if (auto fits = check_column_count(in.size()); !fits) return std::unexpected(std::move(fits.error()));
  if (out.size() != output_names_.size()) fail_index(output_names_.size(), out.size() + 1);
  std::vector<ColumnIn> selected;
  std::size_t position = 0;
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    const Routing& route = routing_[i];
    selected.clear();
    for (const std::size_t c : route.columns) selected.push_back(in[c]);
    targets_[i]->run_research_into(selected, m, first, out.subspan(position, route.out_count), count);
    position += route.out_count;
  }
  return {};
}

std::expected<std::vector<Series>, VexalError> TargetPipeline::run_research(
    std::span<const ColumnView> columns) const {
  if (auto fits = check_column_count(columns.size()); !fits) return std::unexpected(std::move(fits.error()));

  std::vector<Series> result;
  result.reserve(output_names_.size());
  std::vector<ColumnView> selected;
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    const Routing& route = routing_[i];
    selected.clear();
    for (const std::size_t c : route.columns) selected.push_back(columns[c]);

    std::vector<Series> produced = targets_[i]->run_research(selected);
    // Extra columns have no name and are dropped; names without a column get
    // an absent one, so every column stays under its own name.
    const std::size_t kept = std::min(produced.size(), route.out_count);
    for (std::size_t k = 0; k < kept; ++k) result.push_back(std::move(produced[k]));
    const std::size_t length = selected.empty() ? 0 : selected.front().size();
    for (std::size_t k = kept; k < route.out_count; ++k) result.emplace_back(length, std::nullopt);
  }
  return result;
}

}  // namespace vexal
