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
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"

namespace vexal {

// Labels a whole column-oriented dataset with several targets. Targets read
// input columns only (never each other's outputs), so they run in the order
// given and their columns are concatenated.
class TargetPipeline {
 public:
  // Checks, in order: a non-empty target list, distinct input columns,
  // distinct output names across all targets, and that every name a target
  // reads is an input column.
  [[nodiscard]] static std::expected<TargetPipeline, VexalError> create(
      std::vector<std::unique_ptr<Target>> targets, Names input_columns);

  static constexpr std::string_view snapshot_tag = "TargetPipeline";
  // Rebuilds a saved pipeline (the fields after its tag) through create.
  [[nodiscard]] static std::expected<TargetPipeline, VexalError> load(SnapshotReader& in);
  // Tag, input columns, then every target's snapshot in list order.
  void save(SnapshotWriter& out) const;

  // One view per input column, in input_columns() order. Returns exactly one
  // column per entry of output_names(), in that order: a name its target
  // returned no column for gets an all-absent column as long as that
  // target's first input view. A wrong number of columns fails with
  // InvalidInput. The views are handed to the targets, never copied.
  [[nodiscard]] std::expected<std::vector<Series>, VexalError> run_research(
      std::span<const ColumnView> columns) const;

  // InvalidInput, as run_research gives it, unless `count` columns fit.
  [[nodiscard]] std::expected<void, VexalError> check_column_count(std::size_t count) const;

  // The same labels for rows [begin, begin + count) of the data, written
  // into one caller-provided column per output name. `in` holds one column
  // per input column, `m` rows of it starting `first` rows before `begin`;
  // see Target::run_research_into for how far around the rows it must reach
  // (look_back() before, forward_period() after). A wrong number of input
  // columns fails as run_research does, before anything is written.
  [[nodiscard]] std::expected<void, VexalError> run_research_into(std::span<const ColumnIn> in, std::size_t m,
                                                                  std::size_t first,
                                                                  std::span<const ColumnOut> out,
                                                                  std::size_t count) const;

  // Labels `bars` rows a slice at a time into buffers of its own: for each
  // slice, write the rows slice(begin) names into inputs(), run it, and read
  // its labels from outputs(). Memory is bounded by the slice, which reaches
  // look_back() rows before and forward_period() rows after its own.
  class SliceRun {
   public:
    struct Slice {
      std::size_t read_begin;  // first row read
      std::size_t read_count;  // rows read
      std::size_t begin;       // first row labelled
      std::size_t count;       // rows labelled
    };
    [[nodiscard]] std::size_t chunk() const { return chunk_; }
    [[nodiscard]] Slice slice(std::size_t begin) const;
    [[nodiscard]] std::span<const ColumnOut> inputs() const { return inputs_; }
    void run(const Slice& slice);
    [[nodiscard]] std::span<const ColumnIn> outputs() const { return outputs_; }

   private:
    friend class TargetPipeline;
    SliceRun(const TargetPipeline& pipeline, std::size_t bars, std::size_t chunk);

    const TargetPipeline* pipeline_;
    std::size_t bars_;
    std::size_t chunk_;
    std::vector<ColumnBuffer> in_;
    std::vector<ColumnBuffer> labels_;
    std::vector<ColumnIn> views_;
    std::vector<ColumnOut> inputs_;
    std::vector<ColumnOut> sinks_;
    std::vector<ColumnIn> outputs_;
  };

  // A run over `bars` rows, `chunk` labelled per slice (at least four times
  // the rows a slice reaches around them, so re-reading those stays cheap).
  [[nodiscard]] SliceRun start_slices(std::size_t bars, std::size_t chunk = 4096) const;

  // Rows before a bar that its labels may read: the largest warm-up period.
  [[nodiscard]] std::size_t look_back() const { return look_back_; }
  // The largest forward period of the targets.
  [[nodiscard]] std::size_t forward_period() const { return forward_period_; }
  // The number of targets.
  [[nodiscard]] std::size_t len() const { return targets_.size(); }
  [[nodiscard]] const Names& input_columns() const { return input_columns_; }
  [[nodiscard]] const Names& input_names() const { return input_columns_; }
  // Every target's output names, target by target in list order.
  [[nodiscard]] const Names& output_names() const { return output_names_; }

 private:
  // Which input columns a target reads, and how many output names it has.
  struct Routing {
    std::vector<std::size_t> columns;
    std::size_t out_count;
  };

  TargetPipeline(std::vector<std::unique_ptr<Target>> targets, Names input_columns, Names output_names);

  std::vector<std::unique_ptr<Target>> targets_;
  Names input_columns_;
  Names output_names_;
  std::vector<Routing> routing_;
  std::size_t forward_period_ = 0;
  std::size_t look_back_ = 0;
};

}  // namespace vexal
