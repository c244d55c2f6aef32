#include "pipeline/feature_pipeline.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "text/list_form.hpp"

namespace vexal {
namespace {

// The first input column that repeats an earlier one, if any.
std::expected<void, VexalError> check_distinct_columns(const Names& columns) {
  std::unordered_set<std::string_view> seen;
  for (const auto& name : columns) {
    if (!seen.insert(name).second) {
      return std::unexpected(VexalError::invalid_config("duplicate input column: \"" + name + "\""));
    }
  }
  return {};
}

}  // namespace

std::expected<FeaturePipeline, VexalError> FeaturePipeline::create(
    std::vector<std::unique_ptr<StreamingTransform>> features, Names input_columns) {
  if (features.empty()) return std::unexpected(VexalError::invalid_config("features must not be empty"));
  if (auto distinct = check_distinct_columns(input_columns); !distinct) {
    return std::unexpected(std::move(distinct.error()));
  }

  auto dag = FeatureDag::create(std::move(features));
  if (!dag) return std::unexpected(std::move(dag.error()));

  Names missing;
  for (const auto& name : dag->external_inputs()) {
    if (std::find(input_columns.begin(), input_columns.end(), name) == input_columns.end()) {
      missing.push_back(name);
    }
  }
  if (!missing.empty()) return std::unexpected(VexalError::missing_input_column(std::move(missing)));

  return FeaturePipeline(std::move(*dag), std::move(input_columns));
}

FeaturePipeline::FeaturePipeline(FeatureDag dag, Names input_columns)
    : dag_(std::move(dag)), input_columns_(std::move(input_columns)) {
  // One slot per distinct name. An output that shares its name with an input
  // column shares its slot too: the input value stands until the producer
  // overwrites it, which is what a transform reading its own output sees.
  std::unordered_map<std::string, std::size_t> slot_of;
  const auto slot = [&](const std::string& name) {
    return slot_of.try_emplace(name, slot_of.size()).first->second;
  };

  input_slots_.reserve(input_columns_.size());
  for (const auto& name : input_columns_) input_slots_.push_back(slot(name));
  for (const auto& name : dag_.output_names()) out_slots_.push_back(slot(name));

  std::size_t out_begin = 0;
  std::size_t widest_input = 0;
  steps_.reserve(dag_.size());
  dag_.for_each([&](StreamingTransform& t) {
    const Names inputs = t.input_names();
    const std::size_t in_begin = in_slots_.size();
    // Every name read is an input column or some transform's output (the
    // constructor checked), so it already has a slot.
    for (const auto& name : inputs) in_slots_.push_back(slot_of.at(name));
    const std::size_t out_count = t.output_names().size();
    steps_.push_back(Step{&t, in_begin, inputs.size(), out_begin, out_count});
    out_begin += out_count;
    widest_input = std::max(widest_input, inputs.size());
    warm_up_period_ = std::max(warm_up_period_, t.warm_up_period());
  });

  slots_.assign(slot_of.size(), std::nullopt);
  gathered_.assign(widest_input, std::nullopt);
  result_.assign(out_slots_.size(), std::nullopt);
}

VexalError FeaturePipeline::wrong_count(std::size_t got) const {
  return VexalError::invalid_input("expected " + std::to_string(input_columns_.size()) + " input value(s) " +
                                   list_form(input_columns_) + ", got " + std::to_string(got));
}

std::expected<std::span<const OptionalValue>, VexalError> FeaturePipeline::update(
    std::span<const OptionalValue> values) {
  if (values.size() != input_columns_.size()) return std::unexpected(wrong_count(values.size()));

  // Nothing carries over from the previous bar: a name is absent until an
  // input column or its producer fills it.
  std::fill(slots_.begin(), slots_.end(), std::nullopt);
  for (std::size_t i = 0; i < values.size(); ++i) slots_[input_slots_[i]] = values[i];

  for (const Step& step : steps_) {
    for (std::size_t j = 0; j < step.in_count; ++j) gathered_[j] = slots_[in_slots_[step.in_begin + j]];
    const UpdateResult produced = step.transform->update(std::span(gathered_.data(), step.in_count));
    const std::span<const OptionalValue> values_out = produced.values();
    // Values beyond the output names have no name and are dropped; names
    // beyond the values are absent, so every value stays under its own name.
    for (std::size_t k = 0; k < step.out_count; ++k) {
      const OptionalValue v = k < values_out.size() ? values_out[k] : std::nullopt;
      result_[step.out_begin + k] = v;
      slots_[out_slots_[step.out_begin + k]] = v;
    }
  }
  return std::span<const OptionalValue>(result_);
}

std::expected<std::vector<Series>, VexalError> FeaturePipeline::run_research(std::span<const Series> bars) {
  reset();
  std::vector<Series> results;
  results.reserve(bars.size());
  for (const Series& bar : bars) {
    auto row = update(bar);
    if (!row) return std::unexpected(std::move(row.error()));
    results.emplace_back(row->begin(), row->end());
  }
  return results;
}

void FeaturePipeline::reset() {
  for (const Step& step : steps_) step.transform->reset();
}

}  // namespace vexal
