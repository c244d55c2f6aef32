#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "columns/column.hpp"
#include "optional_value.hpp"
#include "update_result.hpp"

namespace vexal {

using Names = std::vector<std::string>;

class SnapshotWriter;

// A bar-by-bar transform (feature, scaler or operator). The configuration is
// fixed at construction; only the rolling state changes, by update and reset.
class StreamingTransform {
 public:
  virtual ~StreamingTransform() = default;

  // The columns read, in the order update expects them (a new copy).
  [[nodiscard]] virtual Names input_names() const = 0;
  // The columns produced, in the order of the update result (a new copy).
  [[nodiscard]] virtual Names output_names() const = 0;
  // Bars before the first value can be present.
  [[nodiscard]] virtual std::size_t warm_up_period() const { return 0; }
  // Elementary steps one bar costs in update_columns, as a bound: a chunk
  // of bars is sized so that an interrupt is never held up for long.
  [[nodiscard]] virtual std::size_t work_per_bar() const { return 1; }
  // A new instance with the same configuration in its initial state.
  [[nodiscard]] virtual std::unique_ptr<StreamingTransform> fresh() const = 0;
  // Back to the state right after construction.
  virtual void reset() = 0;
  // Processes one bar: one value per input column. Too few values is an
  // internal failure raised before any state changes.
  virtual UpdateResult update(std::span<const OptionalValue> values) = 0;
  // What update(values) would return now, with the same checks; the state
  // is left as it was (bit for bit, as a snapshot shows it).
  virtual UpdateResult peek(std::span<const OptionalValue> values) = 0;
  // Writes the class tag, the configuration and the complete state.
  virtual void save(SnapshotWriter& out) const = 0;
  // Processes `n` bars at once, column by column: in[j] holds input j of
  // every bar, out[k] receives output name k (absent where update gives no
  // value). The values, and the state left behind, are exactly those of n
  // calls of update. This default does just that; a transform overrides it
  // with a kernel doing the same arithmetic in the same order per bar.
  virtual void update_columns(std::span<const ColumnIn> in, std::span<const ColumnOut> out, std::size_t n);
  // One bar of many transforms of this one's class and configuration, each
  // with its own state (a universe of symbols): peers[i] takes bar i of the
  // columns as update (commit) or peek would, and its values go to out[.]
  // at i. This default calls each one in turn; a windowed step overrides it
  // to run every peer's window side by side.
  virtual void update_across(std::span<StreamingTransform* const> peers, std::span<const ColumnIn> in,
                             std::span<const ColumnOut> out, bool commit);
};

// A forward-looking label, computed over whole columns in research mode.
class Target {
 public:
  virtual ~Target() = default;

  [[nodiscard]] virtual Names input_names() const = 0;
  [[nodiscard]] virtual Names output_names() const = 0;
  // Trailing bars whose label stays absent.
  [[nodiscard]] virtual std::size_t forward_period() const = 0;
  [[nodiscard]] virtual std::size_t warm_up_period() const { return 0; }
  // Elementary steps one labelled bar costs, as a bound (see
  // StreamingTransform::work_per_bar).
  [[nodiscard]] virtual std::size_t work_per_bar() const { return 1; }
  // One view per input name; returns owned columns, each as long as the first
  // view. Pure: never fails and does not change the target.
  [[nodiscard]] virtual std::vector<Series> run_research(std::span<const ColumnView> columns) const = 0;
  // Writes the class tag and the configuration (a target has no state).
  virtual void save(SnapshotWriter& out) const = 0;
  // The same labels written into caller-provided columns, for the bars of a
  // slice of the data: `in` holds rows [begin - first, begin - first + m) of
  // every input column, out[k] receives the labels of rows [begin, begin +
  // count) for output name k, where `first` rows precede them in `in` (at
  // least warm_up_period(), or all there are) and the rows after them reach
  // forward_period() further or to the end of the data. Labels are those
  // run_research gives over the whole data. This default converts the slice
  // and calls run_research on it.
  virtual void run_research_into(std::span<const ColumnIn> in, std::size_t m, std::size_t first,
                                 std::span<const ColumnOut> out, std::size_t count) const;
};

// Internal failure for a `fresh` whose already validated configuration was
// refused after all.
[[noreturn]] void fresh_failed();

// Unwraps the result of re-running a constructor inside `fresh`.
template <class T, class E>
std::unique_ptr<StreamingTransform> fresh_from(std::expected<T, E>&& made) {
  if (!made) fresh_failed();
  return std::make_unique<T>(std::move(*made));
}

}  // namespace vexal
