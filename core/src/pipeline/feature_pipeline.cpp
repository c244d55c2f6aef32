#include "pipeline/feature_pipeline.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "internal_failure.hpp"
#include "saturating.hpp"
#include "snapshot/registry.hpp"
#include "text/list_form.hpp"
#include "whole_store.hpp"

namespace vexal {
namespace {

// The input columns as a set, or the first one that repeats an earlier one.
// The set answers every later "is this supplied?" in constant time, so a
// pipeline over many columns builds in linear time.
std::expected<std::unordered_set<std::string_view>, VexalError> distinct_columns(const Names& columns) {
  std::unordered_set<std::string_view> seen;
  seen.reserve(columns.size());
  for (const auto& name : columns) {
    if (!seen.insert(name).second) {
      return std::unexpected(VexalError::invalid_config("duplicate input column: \"" + name + "\""));
    }
  }
  return seen;
}

}  // namespace

std::expected<FeaturePipeline, VexalError> FeaturePipeline::create(
    std::vector<std::unique_ptr<StreamingTransform>> features, Names input_columns) {
  if (features.empty()) return std::unexpected(VexalError::invalid_config("features must not be empty"));
  const auto supplied = distinct_columns(input_columns);
  if (!supplied) return std::unexpected(supplied.error());

  auto dag = FeatureDag::create(std::move(features));
  if (!dag) return std::unexpected(std::move(dag.error()));

  Names missing;
  for (const auto& name : dag->external_inputs()) {
    if (!supplied->contains(name)) missing.push_back(name);
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
    // A step whose inputs sit in consecutive slots (any one-input step)
    // reads them in place instead of gathering them.
    bool adjacent = true;
    for (std::size_t j = 1; j < inputs.size(); ++j) {
      adjacent = adjacent && in_slots_[in_begin + j] == in_slots_[in_begin] + j;
    }
    steps_.push_back(Step{&t, in_begin, inputs.size(), out_begin, out_count, adjacent});
    out_begin += out_count;
    widest_input = std::max(widest_input, inputs.size());
    warm_up_period_ = std::max(warm_up_period_, t.warm_up_period());
  });

  // Replays one bar's reads and writes in execution order.
  std::vector<bool> written(slot_of.size(), false);
  for (const std::size_t slot : input_slots_) written[slot] = true;
  for (const Step& step : steps_) {
    for (std::size_t j = 0; j < step.in_count; ++j) {
      const std::size_t slot = in_slots_[step.in_begin + j];
      if (!written[slot]) {
        written[slot] = true;  // listed once
        read_before_written_.push_back(slot);
      }
    }
    for (std::size_t k = 0; k < step.out_count; ++k) written[out_slots_[step.out_begin + k]] = true;
  }

  slots_.assign(slot_of.size(), std::nullopt);
  gathered_.assign(widest_input, std::nullopt);
  result_.assign(out_slots_.size(), std::nullopt);
}

VexalError FeaturePipeline::wrong_count(std::size_t got) const {
  return VexalError::invalid_input("expected " + std::to_string(input_columns_.size()) + " input value(s) " +
                                   list_form(input_columns_) + ", got " + std::to_string(got));
}

std::expected<void, VexalError> FeaturePipeline::check_bar_width(std::size_t width) const {
  if (width != input_columns_.size()) return std::unexpected(wrong_count(width));
  return {};
}

std::expected<std::span<const OptionalValue>, VexalError> FeaturePipeline::update(
    std::span<const OptionalValue> values) {
  return route<false>(values);
}

std::expected<std::span<const OptionalValue>, VexalError> FeaturePipeline::peek(
    std::span<const OptionalValue> values) {
  return route<true>(values);
}

template <bool Peek>
std::expected<std::span<const OptionalValue>, VexalError> FeaturePipeline::route(
    std::span<const OptionalValue> values) {
  if (values.size() != input_columns_.size()) return std::unexpected(wrong_count(values.size()));

  // Nothing carries over from the previous bar: a name is absent until an
  // input column or its producer fills it. Only the slots read before they
  // are written (a transform reading its own output) need clearing.
  for (const std::size_t slot : read_before_written_) store_whole(&slots_[slot], std::nullopt);
  for (std::size_t i = 0; i < values.size(); ++i) store_whole(&slots_[input_slots_[i]], values[i]);

  for (const Step& step : steps_) {
    std::span<const OptionalValue> inputs;
    if (step.adjacent_inputs) {
      inputs = std::span(slots_.data() + in_slots_[step.in_begin], step.in_count);
    } else {
      for (std::size_t j = 0; j < step.in_count; ++j) gathered_[j] = slots_[in_slots_[step.in_begin + j]];
      inputs = std::span(gathered_.data(), step.in_count);
    }
    const UpdateResult produced = Peek ? step.transform->peek(inputs) : step.transform->update(inputs);
    const std::span<const OptionalValue> values_out = produced.values();
    // Values beyond the output names have no name and are dropped; names
    // beyond the values are absent, so every value stays under its own name.
    // (Two loops, not one with a conditional value: that value was built on
    // the stack piecewise and read back whole, a forwarding stall per name.)
    const std::size_t given = std::min(step.out_count, values_out.size());
    for (std::size_t k = 0; k < given; ++k) {
      store_whole(&result_[step.out_begin + k], values_out[k]);
      store_whole(&slots_[out_slots_[step.out_begin + k]], values_out[k]);
    }
    for (std::size_t k = given; k < step.out_count; ++k) {
      store_whole(&result_[step.out_begin + k], std::nullopt);
      store_whole(&slots_[out_slots_[step.out_begin + k]], std::nullopt);
    }
  }
  return std::span<const OptionalValue>(result_);
}

std::expected<std::vector<Series>, VexalError> FeaturePipeline::run_research(std::span<const Series> bars) {
  std::vector<Series> results;
  results.reserve(bars.size());
  auto done = run_research(
      bars.size(), [&](std::size_t i) { return std::span<const OptionalValue>(bars[i]); },
      [&](std::size_t, std::span<const OptionalValue> row) { results.emplace_back(row.begin(), row.end()); });
  if (!done) return std::unexpected(std::move(done.error()));
  return results;
}

void FeaturePipeline::save(SnapshotWriter& out) const {
  out.text(snapshot_tag);
  out.names(input_columns_);
  out.size(dag_.size());
  dag_.for_each([&](const StreamingTransform& t) { t.save(out); });
}

std::expected<FeaturePipeline, VexalError> FeaturePipeline::load(SnapshotReader& in) {
  Names input_columns = in.names("input columns");
  // Each transform takes at least its tag's four length bytes.
  const std::size_t count = in.count("transform count", 4);
  std::vector<std::unique_ptr<StreamingTransform>> transforms;
  transforms.reserve(count);
  for (std::size_t i = 0; i < count && in.ok(); ++i) {
    auto t = load_transform(in);
    if (!t) return std::unexpected(std::move(t.error()));
    transforms.push_back(std::move(*t));
  }
  auto made = in.built(snapshot_tag, create(std::move(transforms), std::move(input_columns)));
  if (!made) return in.failure();
  return in.result(std::move(*made));
}

FeaturePipeline::ColumnRun FeaturePipeline::start_columns(std::size_t capacity, std::size_t threads) {
  ColumnRun run(*this, capacity, threads);
  reset();
  return run;
}

FeaturePipeline::ColumnRun FeaturePipeline::continue_columns(std::size_t capacity, std::size_t threads) {
  return ColumnRun(*this, capacity, threads);
}

// A chunk holds at most a bounded amount of work, so a pipeline of long
// windows checks for interrupts as often as one of short ones.
std::size_t FeaturePipeline::chunk_bars(std::size_t preferred) const {
  std::size_t work = 0;
  for (const Step& step : steps_) work = saturating_add(work, step.transform->work_per_bar());
  return bars_by_work(preferred, work);
}

FeaturePipeline::ColumnRun FeaturePipeline::across(std::size_t pipelines) {
  return ColumnRun(*this, pipelines, 1, true);
}

FeaturePipeline::ColumnRun::ColumnRun(FeaturePipeline& pipeline, std::size_t capacity, std::size_t threads,
                                      bool exact)
    : pipeline_(&pipeline), capacity_(exact ? capacity : pipeline.chunk_bars(capacity)) {
  const FeaturePipeline& p = pipeline;
  capacity = capacity_;
  slots_.reserve(p.slots_.size());
  for (std::size_t i = 0; i < p.slots_.size(); ++i) slots_.emplace_back(capacity);
  for (const std::size_t slot : p.in_slots_) step_in_.push_back(slots_[slot].in());
  step_out_.resize(p.out_slots_.size());
  for (const Step& step : p.steps_) {
    const auto reads = std::span(p.in_slots_).subspan(step.in_begin, step.in_count);
    for (std::size_t k = 0; k < step.out_count; ++k) {
      const std::size_t position = step.out_begin + k;
      const std::size_t slot = p.out_slots_[position];
      // Reading and writing one column in one pass would let the kernel see
      // this chunk's outputs as its inputs: write aside, copy back after.
      if (std::find(reads.begin(), reads.end(), slot) != reads.end()) {
        scratch_.emplace_back(capacity);
        step_out_[position] = scratch_.back().out();
        copy_back_.emplace_back(position, slot);
      } else {
        step_out_[position] = slots_[slot].out();
      }
    }
    copy_back_end_.push_back(copy_back_.size());
  }
  for (const std::size_t slot : p.input_slots_) {
    inputs_.push_back(slots_[slot].out());
    const bool read = std::find(p.in_slots_.begin(), p.in_slots_.end(), slot) != p.in_slots_.end();
    inputs_read_.push_back(read ? 1 : 0);
  }
  for (const std::size_t slot : p.out_slots_) outputs_.push_back(slots_[slot].in());
  threads = std::min(threads, p.steps_.size());
  if (threads > 1) workers_ = std::make_unique<StepWorkers>(step_order(), threads);
}

std::vector<std::vector<std::size_t>> FeaturePipeline::ColumnRun::step_order() const {
  const FeaturePipeline& p = *pipeline_;
  const auto reads = [&](const Step& step) {
    return std::span(p.in_slots_).subspan(step.in_begin, step.in_count);
  };
  const auto writes = [&](const Step& step) {
    return std::span(p.out_slots_).subspan(step.out_begin, step.out_count);
  };
  const auto shares = [](std::span<const std::size_t> a, std::span<const std::size_t> b) {
    return std::find_first_of(a.begin(), a.end(), b.begin(), b.end()) != a.end();
  };
  std::vector<std::vector<std::size_t>> after(p.steps_.size());
  for (std::size_t s = 0; s < p.steps_.size(); ++s) {
    const Step& later = p.steps_[s];
    for (std::size_t r = 0; r < s; ++r) {
      const Step& earlier = p.steps_[r];
      if (shares(writes(earlier), reads(later)) || shares(reads(earlier), writes(later)) ||
          shares(writes(earlier), writes(later))) {
        after[s].push_back(r);
      }
    }
  }
  return after;
}

void FeaturePipeline::ColumnRun::run_step(std::size_t s, std::size_t n,
                                          std::span<StreamingTransform* const> peers, bool commit) {
  const Step& step = pipeline_->steps_[s];
  const auto in = std::span(step_in_).subspan(step.in_begin, step.in_count);
  const auto out = std::span(step_out_).subspan(step.out_begin, step.out_count);
  if (peers.empty()) {
    step.transform->update_columns(in, out, n);
  } else {
    peers[0]->update_across(peers, in, out, commit);
  }
  for (std::size_t c = s == 0 ? 0 : copy_back_end_[s - 1]; c < copy_back_end_[s]; ++c) {
    const auto [position, slot] = copy_back_[c];
    const ColumnOut from = step_out_[position];
    const ColumnOut to = slots_[slot].out();
    std::copy_n(from.values, n, to.values);
    std::copy_n(from.valid, n, to.valid);
  }
}

void FeaturePipeline::ColumnRun::clear_unwritten(std::size_t n) {
  if (n > capacity_) fail_index(n, capacity_ + 1);
  for (const std::size_t slot : pipeline_->read_before_written_) {
    const ColumnOut column = slots_[slot].out();
    std::fill_n(column.valid, n, std::uint8_t{0});
    std::fill_n(column.values, n, 0.0);
  }
}

void FeaturePipeline::ColumnRun::run_across(std::size_t n,
                                            std::span<const std::span<StreamingTransform* const>> peers,
                                            bool commit) {
  if (peers.size() != pipeline_->steps_.size()) throw InternalFailure("one list of peers a step");
  clear_unwritten(n);
  if (n == 0) return;
  for (std::size_t s = 0; s < peers.size(); ++s) {
    if (peers[s].size() != n) throw InternalFailure("one peer a pipeline");
    run_step(s, n, peers[s], commit);
  }
}

void FeaturePipeline::ColumnRun::run(std::size_t n) {
  clear_unwritten(n);
  const FeaturePipeline& p = *pipeline_;
  if (workers_) {
    workers_->round([this, n](std::size_t s) { run_step(s, n); });
    return;
  }
  for (std::size_t s = 0; s < p.steps_.size(); ++s) run_step(s, n);
}

void FeaturePipeline::reset() {
  for (const Step& step : steps_) step.transform->reset();
}

}  // namespace vexal
