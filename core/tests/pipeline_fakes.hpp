#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "internal_failure.hpp"
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

}  // namespace vexal::testing
