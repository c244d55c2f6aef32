#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "columns/column.hpp"
#include "error.hpp"
#include "optional_value.hpp"
#include "pipeline/dag.hpp"
#include "pipeline/step_workers.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"

namespace vexal {

// Runs a set of streaming transforms as one unit, routing values between
// them by column name. Names are resolved to slots once, at construction, so
// a bar costs no hashing and no allocation: fill the input slots, run the
// transforms in execution order, write their values.
class FeaturePipeline {
 public:
  // Checks, in order: a non-empty feature list, distinct input columns, the
  // dependency graph (duplicate outputs, cycles), and that every name read is
  // produced by a transform or supplied as an input column.
  [[nodiscard]] static std::expected<FeaturePipeline, VexalError> create(
      std::vector<std::unique_ptr<StreamingTransform>> features, Names input_columns);

  static constexpr std::string_view snapshot_tag = "FeaturePipeline";
  // Rebuilds a saved pipeline (the fields after its tag): its transforms
  // with their states, in execution order, through create, so every check
  // of the constructor runs again.
  [[nodiscard]] static std::expected<FeaturePipeline, VexalError> load(SnapshotReader& in);
  // Tag, input columns, then every transform's snapshot in execution order.
  void save(SnapshotWriter& out) const;

  // Processes one bar, one value per input column. The result holds exactly
  // one value per entry of output_names(), in that order; a name its
  // transform gave no value to is absent. The span points into a buffer owned
  // by the pipeline and stays valid until the next mutating call. A wrong
  // number of values fails with InvalidInput before any transform runs.
  [[nodiscard]] std::expected<std::span<const OptionalValue>, VexalError> update(
      std::span<const OptionalValue> values);

  // InvalidInput, as update gives it, unless a bar of `width` values fits.
  [[nodiscard]] std::expected<void, VexalError> check_bar_width(std::size_t width) const;

  // What update(values) would return now, with the same checks; no
  // transform's state changes. The span is valid like update's.
  [[nodiscard]] std::expected<std::span<const OptionalValue>, VexalError> peek(
      std::span<const OptionalValue> values);

  // Resets every transform, then processes every bar in order; returns one
  // result per bar. A malformed bar ends the call with its error and leaves
  // the transforms as the last good bar left them.
  [[nodiscard]] std::expected<std::vector<Series>, VexalError> run_research(std::span<const Series> bars);

  // The same walk for callers that keep the bars, or want the results, in
  // their own form: bar_at(i) gives bar i's values, emit(i, row) receives its
  // result (valid only during the call). Nothing is allocated per bar here,
  // so a dataset costs what its bars' updates cost.
  template <class BarAt, class Emit>
  [[nodiscard]] std::expected<void, VexalError> run_research(std::size_t count, BarAt&& bar_at, Emit&& emit) {
    reset();
    for (std::size_t i = 0; i < count; ++i) {
      auto row = update(bar_at(i));
      if (!row) return std::unexpected(std::move(row.error()));
      emit(i, *row);
    }
    return {};
  }

  // Research column by column, a chunk of bars at a time: each transform in
  // execution order consumes its input columns for the chunk and writes its
  // output columns, through update_columns, so the values and the state
  // after every chunk are those of updating bar by bar. Memory is bounded by
  // the chunk: one column per routed name, whatever the length of the data.
  // The run borrows the pipeline; nothing else may use it meanwhile.
  class ColumnRun {
   public:
    // Where the next chunk's inputs go, one column per input column.
    [[nodiscard]] std::span<const ColumnOut> inputs() const { return inputs_; }
    // 1 for each input column some transform reads, 0 for one none does: its
    // values need not be written.
    [[nodiscard]] std::span<const std::uint8_t> inputs_read() const { return inputs_read_; }
    // Processes the next n <= capacity() bars, whose inputs were written.
    void run(std::size_t n);
    // One bar of n <= capacity() pipelines alike this one (a universe of
    // symbols): column entry i is pipeline i's, and peers[s] holds every
    // pipeline's transform of step s, as transform_at(s) gives it. Each
    // transform takes its bar as update (commit) or peek would.
    void run_across(std::size_t n, std::span<const std::span<StreamingTransform* const>> peers, bool commit);
    // The last chunk's results, one column per entry of output_names().
    [[nodiscard]] std::span<const ColumnIn> outputs() const { return outputs_; }
    [[nodiscard]] std::size_t capacity() const { return capacity_; }

   private:
    friend class FeaturePipeline;
    ColumnRun(FeaturePipeline& pipeline, std::size_t capacity, std::size_t threads, bool exact = false);
    // Step s over the chunk's n bars, its copies back included; through its
    // peers when there are some.
    void run_step(std::size_t s, std::size_t n, std::span<StreamingTransform* const> peers = {},
                  bool commit = true);
    // The slots a bar reads before any step writes them start absent.
    void clear_unwritten(std::size_t n);
    // For each step, the earlier steps whose columns it reads or writes, or
    // which read a column it writes: what it must wait for on another thread.
    [[nodiscard]] std::vector<std::vector<std::size_t>> step_order() const;

    FeaturePipeline* pipeline_;
    std::size_t capacity_;
    std::vector<ColumnBuffer> slots_;
    std::vector<ColumnBuffer> scratch_;  // outputs of steps that read their own output slot
    std::vector<ColumnIn> step_in_;      // in_slots_ order
    std::vector<ColumnOut> step_out_;    // output_names() order, scratch where needed
    std::vector<std::pair<std::size_t, std::size_t>> copy_back_;  // (output position, slot)
    std::vector<std::size_t> copy_back_end_;                      // per step, end in copy_back_
    std::vector<ColumnOut> inputs_;
    std::vector<std::uint8_t> inputs_read_;
    std::vector<ColumnIn> outputs_;
    std::unique_ptr<StepWorkers> workers_;  // only with more than one thread
  };

  // Bars per chunk: a few thousand keeps a chunk's columns in the cache.
  static constexpr std::size_t kColumnChunk = 4096;

  // Resets every transform and returns a run with room for `capacity` bars
  // per chunk (fewer where windows are long: see capacity()). With `threads` above one, transforms that do
  // not depend on one another run at the same time, each still over its own columns in order, so the values
  // and the state are the same as with one.
  [[nodiscard]] ColumnRun start_columns(std::size_t capacity = kColumnChunk, std::size_t threads = 1);
  // The same run from the transforms' current state: runs over consecutive
  // slices of a series equal one run over the whole, bit for bit.
  [[nodiscard]] ColumnRun continue_columns(std::size_t capacity = kColumnChunk, std::size_t threads = 1);

  // A run with room for one bar of `pipelines` pipelines alike this one,
  // for run_across; no state changes.
  [[nodiscard]] ColumnRun across(std::size_t pipelines);
  // The transform of step s, in execution order.
  [[nodiscard]] StreamingTransform& transform_at(std::size_t s) const { return *steps_[s].transform; }

  // Every transform back to its state right after construction.
  void reset();

  // The largest warm-up period of the transforms.
  [[nodiscard]] std::size_t warm_up_period() const { return warm_up_period_; }
  // The number of transforms.
  [[nodiscard]] std::size_t len() const { return dag_.size(); }
  // The input column names as given; their order is the order of a bar.
  [[nodiscard]] const Names& input_columns() const { return input_columns_; }
  [[nodiscard]] const Names& input_names() const { return input_columns_; }
  // The output names of all transforms in execution order.
  [[nodiscard]] const Names& output_names() const { return dag_.output_names(); }
  [[nodiscard]] const FeatureDag& dag() const { return dag_; }

 private:
  // One transform's routing: where its inputs come from and where its
  // values go (output k of this step is result position out_begin + k, and
  // its slot is out_slots_[out_begin + k]).
  struct Step {
    StreamingTransform* transform;
    std::size_t in_begin;
    std::size_t in_count;
    std::size_t out_begin;
    std::size_t out_count;
    bool adjacent_inputs;  // in consecutive slots, read in place
  };

  FeaturePipeline(FeatureDag dag, Names input_columns);

  [[nodiscard]] VexalError wrong_count(std::size_t got) const;
  // Bars per chunk: `preferred`, or fewer where the transforms' work per bar
  // is large.
  [[nodiscard]] std::size_t chunk_bars(std::size_t preferred) const;
  // One bar through every step; a peek asks each transform for a peek.
  template <bool Peek>
  [[nodiscard]] std::expected<std::span<const OptionalValue>, VexalError> route(
      std::span<const OptionalValue> values);

  FeatureDag dag_;
  Names input_columns_;
  std::size_t warm_up_period_ = 0;

  std::vector<Step> steps_;
  std::vector<std::size_t> input_slots_;          // slot of each input column
  std::vector<std::size_t> in_slots_;             // slot of each input name, step by step
  std::vector<std::size_t> out_slots_;            // slot of each output name, in output_names() order
  std::vector<std::size_t> read_before_written_;  // slots cleared at the start of a bar

  // Per-bar scratch, sized at construction.
  std::vector<OptionalValue> slots_;
  std::vector<OptionalValue> gathered_;
  std::vector<OptionalValue> result_;
};

}  // namespace vexal
