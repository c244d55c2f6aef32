#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "error.hpp"
#include "snapshot/reader.hpp"
#include "traits.hpp"

namespace vexal {

class FeaturePipeline;
class TargetPipeline;

// Nested snapshots: reads a class tag, then that class's fields.
[[nodiscard]] std::expected<std::unique_ptr<StreamingTransform>, VexalError> load_transform(
    SnapshotReader& in);
[[nodiscard]] std::expected<std::unique_ptr<Target>, VexalError> load_target(SnapshotReader& in);

// Whole snapshots. The class tag of a snapshot whose envelope is sound.
[[nodiscard]] std::expected<std::string, VexalError> snapshot_class(std::span<const std::uint8_t> bytes);
// Rebuilds the object a snapshot holds, which must be of class `expected`;
// every byte must be used.
[[nodiscard]] std::expected<std::unique_ptr<StreamingTransform>, VexalError> restore_transform(
    std::span<const std::uint8_t> bytes, std::string_view expected);
[[nodiscard]] std::expected<std::unique_ptr<Target>, VexalError> restore_target(
    std::span<const std::uint8_t> bytes, std::string_view expected);
[[nodiscard]] std::expected<FeaturePipeline, VexalError> restore_feature_pipeline(
    std::span<const std::uint8_t> bytes);
[[nodiscard]] std::expected<TargetPipeline, VexalError> restore_target_pipeline(
    std::span<const std::uint8_t> bytes);

}  // namespace vexal
