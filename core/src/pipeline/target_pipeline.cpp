#include "pipeline/target_pipeline.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "internal_failure.hpp"
#include "text/list_form.hpp"

namespace vexal {

std::expected<TargetPipeline, VexalError> TargetPipeline::create(std::vector<std::unique_ptr<Target>> targets,
                                                                 Names input_columns) {
  if (targets.empty()) return std::unexpected(VexalError::invalid_config("targets must not be empty"));
  for (const auto& t : targets) {
    if (!t) throw InternalFailure("target pipeline: null target");
  }

  std::unordered_set<std::string_view> seen_columns;
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
      const bool supplied =
          std::find(input_columns.begin(), input_columns.end(), name) != input_columns.end();
      if (!supplied && missing_seen.insert(name).second) missing.push_back(std::move(name));
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

VexalError TargetPipeline::wrong_count(std::size_t got) const {
  return VexalError::invalid_input("expected " + std::to_string(input_columns_.size()) + " input column(s) " +
                                   list_form(input_columns_) + ", got " + std::to_string(got));
}

std::expected<void, VexalError> TargetPipeline::run_research_into(std::span<const ColumnIn> in, std::size_t m,
                                                                  std::size_t first,
                                                                  std::span<const ColumnOut> out,
                                                                  std::size_t count) const {
  if (in.size() != input_columns_.size()) return std::unexpected(wrong_count(in.size()));
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
  if (columns.size() != input_columns_.size()) return std::unexpected(wrong_count(columns.size()));

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
