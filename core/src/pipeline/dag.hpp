#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <span>
#include <vector>

#include "error.hpp"
#include "traits.hpp"

namespace vexal {

// The transforms of one feature pipeline arranged in stages, so that every
// transform runs after each transform producing one of its inputs. Columns
// are connected by name only; the list order decides only the order inside a
// stage and the indices quoted in errors.
class FeatureDag {
 public:
  using TransformPtr = std::unique_ptr<StreamingTransform>;
  using Stage = std::vector<TransformPtr>;

  // Takes ownership of the transforms (in the order the user listed them).
  // Fails with DuplicateOutputKey when a name is produced twice, or with
  // CyclicDependency; names nobody produces are collected in
  // external_inputs, not reported. A null transform is an internal failure.
  [[nodiscard]] static std::expected<FeatureDag, VexalError> create(std::vector<TransformPtr> transforms);

  // Execution order is the stages flattened, first stage first.
  [[nodiscard]] std::span<const Stage> stages() const { return stages_; }
  [[nodiscard]] std::span<Stage> stages() { return stages_; }
  // Every transform's output names, in execution order.
  [[nodiscard]] const Names& output_names() const { return output_names_; }
  // Distinct input names no transform produces, in order of first use.
  [[nodiscard]] const Names& external_inputs() const { return external_inputs_; }
  // The number of transforms, over all stages.
  [[nodiscard]] std::size_t size() const { return size_; }

  // Calls `f(transform)` for every transform in execution order.
  template <class F>
  void for_each(F&& f) {
    for (auto& stage : stages_)
      for (auto& t : stage) f(*t);
  }
  template <class F>
  void for_each(F&& f) const {
    for (const auto& stage : stages_)
      for (const auto& t : stage) f(static_cast<const StreamingTransform&>(*t));
  }

 private:
  FeatureDag(std::vector<Stage> stages, Names output_names, Names external_inputs, std::size_t size)
      : stages_(std::move(stages)),
        output_names_(std::move(output_names)),
        external_inputs_(std::move(external_inputs)),
        size_(size) {}

  std::vector<Stage> stages_;
  Names output_names_;
  Names external_inputs_;
  std::size_t size_;
};

}  // namespace vexal
