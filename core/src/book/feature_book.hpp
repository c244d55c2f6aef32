#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "book/cross_section.hpp"
#include "columns/column.hpp"
#include "error.hpp"
#include "pipeline/feature_pipeline.hpp"
#include "pipeline/step_workers.hpp"

namespace vexal {

class SnapshotReader;
class SnapshotWriter;

// A universe of symbols, each with its own copy of one pipeline, updated
// together one bar at a time, and the cross-sectional features computed
// over them after the per-symbol ones. A symbol's outputs are exactly what
// its own pipeline would give for the bars it was present on. Every check
// of a bar comes before any state changes, so a refused bar changes nothing.
class FeatureBook {
 public:
  static constexpr std::string_view snapshot_tag = "FeatureBook";

  // Each symbol starts from `prototype`'s configuration, freshly reset.
  // Checks: distinct, non-empty symbol names; each cross feature reading a
  // column the pipeline has (an input or an output), its output a new name,
  // its groups one of the pipeline's input columns.
  [[nodiscard]] static std::expected<FeatureBook, VexalError> create(const FeaturePipeline& prototype,
                                                                     Names symbols,
                                                                     std::vector<CrossFeature> cross);

  [[nodiscard]] const Names& symbols() const { return symbols_; }
  [[nodiscard]] std::size_t size() const { return symbols_.size(); }
  [[nodiscard]] const Names& input_columns() const { return prototype_.input_columns(); }
  // The pipeline's outputs, then each cross feature's.
  [[nodiscard]] const Names& output_names() const { return output_names_; }
  [[nodiscard]] const std::vector<CrossFeature>& cross() const { return cross_; }
  [[nodiscard]] std::size_t warm_up_period() const { return prototype_.warm_up_period(); }

  // One bar for every symbol: `in` one column per input column with a value
  // per symbol, `present` empty (all present) or a flag per symbol, `out` one
  // column per output name. A symbol not present keeps its state and gets
  // absent outputs. With `threads` above one, the symbols are split among
  // threads; the values are the same.
  [[nodiscard]] std::expected<void, VexalError> update(std::span<const ColumnIn> in,
                                                       std::span<const std::uint8_t> present,
                                                       std::span<const ColumnOut> out,
                                                       std::size_t threads = 1);
  // What update would write now; no symbol's state changes.
  [[nodiscard]] std::expected<void, VexalError> peek(std::span<const ColumnIn> in,
                                                     std::span<const std::uint8_t> present,
                                                     std::span<const ColumnOut> out, std::size_t threads = 1);

  // A new symbol, from a fresh copy of the pipeline or from `pipeline` (its
  // state included), which must have the book's input columns and outputs.
  [[nodiscard]] std::expected<void, VexalError> add(std::string symbol,
                                                    const FeaturePipeline* pipeline = nullptr);
  [[nodiscard]] std::expected<void, VexalError> remove(std::string_view symbol);
  // An independent copy of the pipeline of `symbol`, its state included.
  [[nodiscard]] std::expected<FeaturePipeline, VexalError> pipeline(std::string_view symbol) const;
  void reset();

  // Tag, the prototype pipeline, the cross features, then each symbol's
  // name and pipeline.
  void save(SnapshotWriter& out) const;
  [[nodiscard]] static std::expected<FeatureBook, VexalError> load(SnapshotReader& in);

  FeatureBook(FeatureBook&&) noexcept = default;
  FeatureBook& operator=(FeatureBook&&) noexcept = default;

 private:
  // Where a cross feature reads its values and its groups: an input column
  // (its position) or a pipeline output (its position among the outputs).
  struct Source {
    bool from_input;
    std::size_t at;
  };

  FeatureBook(FeaturePipeline prototype, std::vector<CrossFeature> cross, Names output_names,
              std::vector<Source> sources, std::vector<std::optional<std::size_t>> group_columns)
      : prototype_(std::move(prototype)),
        cross_(std::move(cross)),
        output_names_(std::move(output_names)),
        sources_(std::move(sources)),
        group_columns_(std::move(group_columns)) {}

  [[nodiscard]] std::expected<void, VexalError> step(std::span<const ColumnIn> in,
                                                     std::span<const std::uint8_t> present,
                                                     std::span<const ColumnOut> out, std::size_t threads,
                                                     bool commit);
  [[nodiscard]] std::expected<void, VexalError> check_bar(std::span<const ColumnIn> in,
                                                          std::span<const std::uint8_t> present,
                                                          std::span<const ColumnOut> out);
  // The active symbols of slice `w` of those prepared: their pipelines'
  // outputs into `out`, through the windows side by side where every
  // pipeline is alike, one pipeline at a time otherwise.
  void run_slice(std::size_t w, std::span<const ColumnIn> in, std::span<const ColumnOut> out, bool commit);
  void run_alike(std::span<const std::size_t> symbols, std::size_t w, std::span<const ColumnIn> in,
                 std::span<const ColumnOut> out, bool commit);
  void run_each(std::span<const std::size_t> symbols, std::span<const ColumnIn> in,
                std::span<const ColumnOut> out, bool commit);
  // The workers and the runs for `slices` slices of the universe, made anew
  // when the universe or the number of threads changed.
  void prepare_slices(std::size_t slices);
  void run_cross(std::span<const ColumnIn> in, std::span<const std::uint8_t> present,
                 std::span<const ColumnOut> out);

  FeaturePipeline prototype_;  // reset: what a new symbol starts from
  std::vector<CrossFeature> cross_;
  Names output_names_;
  std::vector<Source> sources_;                            // per cross feature
  std::vector<std::optional<std::size_t>> group_columns_;  // per cross feature: input column position
  Names symbols_;
  std::vector<FeaturePipeline> pipelines_;  // one per symbol, in symbol order
  std::unordered_map<std::string, std::size_t> index_;
  // Per symbol: 1 where its pipeline's configuration is the prototype's,
  // so its transforms can run side by side with the others'.
  std::vector<std::uint8_t> alike_;
  std::vector<std::uint8_t> configuration_;  // the prototype's snapshot, freshly reset
  // Kept between bars so a bar allocates nothing once the universe is known.
  std::vector<std::int64_t> group_codes_;
  std::vector<std::uint8_t> taking_part_;
  std::vector<double> cross_in_;
  std::vector<double> cross_out_;
  CrossScratch scratch_;
  std::vector<std::size_t> active_;  // this bar's present symbols

  // One slice of the universe: its run over the prototype's routing and,
  // per step, its symbols' transforms.
  struct Slice {
    FeaturePipeline::ColumnRun run;
    std::vector<std::vector<StreamingTransform*>> peers;
    std::vector<std::span<StreamingTransform* const>> peer_lists;
  };
  // What prepare_slices made; it points into this book, so a moved book
  // starts without it and makes its own.
  struct Slices {
    Slices() = default;
    Slices(Slices&&) noexcept {}
    Slices& operator=(Slices&&) noexcept {
      drop();
      return *this;
    }
    void drop() {
      workers.reset();
      each.clear();
      by_step.clear();
      symbols = 0;
    }
    std::size_t symbols = 0;  // the universe's size they were made for
    bool alike = true;        // every pipeline configured as the prototype
    // Per step, every symbol's transform of it, in symbol order.
    std::vector<std::vector<StreamingTransform*>> by_step;
    std::vector<Slice> each;
    std::unique_ptr<StepWorkers> workers;  // with more than one slice
  };
  Slices slices_;
};

}  // namespace vexal
