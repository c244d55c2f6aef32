#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "internal_failure.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"
#include "transform_base.hpp"

namespace vexal::testing {

// A transform whose values are easy to predict: value k is its input
// k mod (number of inputs), scaled by k + 1 and shifted by `drift` times the
// number of bars seen, so a nonzero drift makes it stateful. It returns
// `produced` values whatever the number of its output names.
class FakeTransform final : public NamedTransform {
 public:
  FakeTransform(Names inputs, Names outputs, std::size_t produced, double drift = 0.0,
                std::size_t warm_up = 0)
      : NamedTransform(std::move(inputs), std::move(outputs)),
        produced_(produced),
        drift_(drift),
        warm_up_(warm_up) {}

  // Returns one value per output name.
  FakeTransform(Names inputs, Names outputs) : FakeTransform(inputs, outputs, outputs.size()) {}

  [[nodiscard]] std::size_t warm_up_period() const override { return warm_up_; }
  [[nodiscard]] std::unique_ptr<StreamingTransform> fresh() const override {
    return std::make_unique<FakeTransform>(inputs_, outputs_, produced_, drift_, warm_up_);
  }
  void reset() override { bars_ = 0; }
  UpdateResult update(std::span<const OptionalValue> values) override {
    require_values(values, inputs_.size());
    ++bars_;
    UpdateResult out;
    for (std::size_t k = 0; k < produced_; ++k) {
      OptionalValue v = values.empty() ? OptionalValue() : values[k % values.size()];
      if (v) *v = *v * static_cast<double>(k + 1) + drift_ * static_cast<double>(bars_);
      out.push_back(v);
    }
    return out;
  }
  UpdateResult peek(std::span<const OptionalValue> values) override {
    const std::size_t seen = bars_;
    UpdateResult out = update(values);
    bars_ = seen;
    return out;
  }
  // No loader knows this tag: a pipeline holding a fake saves but never loads.
  void save(SnapshotWriter& out) const override { out.text("FakeTransform"); }

 private:
  std::size_t produced_;
  double drift_;
  std::size_t warm_up_;
  std::size_t bars_ = 0;
};

inline std::unique_ptr<StreamingTransform> fake(Names inputs, Names outputs) {
  return std::make_unique<FakeTransform>(std::move(inputs), std::move(outputs));
}

template <class... Ts>
std::vector<std::unique_ptr<StreamingTransform>> transforms(std::unique_ptr<Ts>... ts) {
  std::vector<std::unique_ptr<StreamingTransform>> list;
  (list.push_back(std::move(ts)), ...);
  return list;
}

// Moves a transform made by a `create` that must succeed onto the heap.
template <class T, class E>
std::unique_ptr<StreamingTransform> owned(std::expected<T, E>&& made) {
  return std::make_unique<T>(std::move(made).value());
}

// What a FakeTarget was handed, call by call.
struct TargetLog {
  std::vector<std::vector<const OptionalValue*>> data;
  std::vector<std::vector<std::size_t>> sizes;
};

// A target returning `returned` columns, each as long as its first view;
// column k is view k mod (number of views) plus 10 (k + 1), absent beyond the
// end of a shorter view.
class FakeTarget final : public Target {
 public:
  FakeTarget(Names inputs, Names outputs, std::size_t returned, std::size_t forward = 0,
             std::shared_ptr<TargetLog> log = nullptr)
      : inputs_(std::move(inputs)),
        outputs_(std::move(outputs)),
        returned_(returned),
        forward_(forward),
        log_(std::move(log)) {}

  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }
  [[nodiscard]] std::size_t forward_period() const override { return forward_; }
  [[nodiscard]] std::vector<Series> run_research(std::span<const ColumnView> columns) const override {
    if (log_) {
      auto& data = log_->data.emplace_back();
      auto& sizes = log_->sizes.emplace_back();
      for (const auto& c : columns) {
        data.push_back(c.data());
        sizes.push_back(c.size());
      }
    }
    const std::size_t length = columns.empty() ? 0 : columns[0].size();
    std::vector<Series> out;
    for (std::size_t k = 0; k < returned_; ++k) {
      Series& column = out.emplace_back(length);
      if (columns.empty()) continue;
      const ColumnView source = columns[k % columns.size()];
      for (std::size_t i = 0; i < length && i < source.size(); ++i) {
        if (source[i]) column[i] = *source[i] + 10.0 * static_cast<double>(k + 1);
      }
    }
    return out;
  }
  void save(SnapshotWriter& out) const override { out.text("FakeTarget"); }

 private:
  Names inputs_;
  Names outputs_;
  std::size_t returned_;
  std::size_t forward_;
  std::shared_ptr<TargetLog> log_;
};

inline std::unique_ptr<Target> fake_target(Names inputs, Names outputs) {
  const std::size_t n = outputs.size();
  return std::make_unique<FakeTarget>(std::move(inputs), std::move(outputs), n);
}

}  // namespace vexal::testing
