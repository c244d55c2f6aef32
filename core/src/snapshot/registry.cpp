#include "snapshot/registry.hpp"

#include <span>
#include <type_traits>
#include <vector>

#include "catalog.hpp"
#include "pipeline/feature_pipeline.hpp"
#include "pipeline/target_pipeline.hpp"
#include "text/list_form.hpp"

namespace vexal {
namespace {

template <class Base>
using Loader = std::expected<std::unique_ptr<Base>, VexalError> (*)(SnapshotReader&);

template <class Base>
struct Entry {
  std::string_view tag;
  Loader<Base> load;
};

template <class Base, class T>
constexpr Entry<Base> entry() {
  return {T::snapshot_tag, [](SnapshotReader& in) -> std::expected<std::unique_ptr<Base>, VexalError> {
            auto made = T::load(in);
            if (!made) return std::unexpected(std::move(made.error()));
            return std::make_unique<T>(std::move(*made));
          }};
}

// The tag table, from the catalog: each class under the base it derives from.
template <class Base>
std::span<const Entry<Base>> table() {
  static const std::vector<Entry<Base>> entries = [] {
    std::vector<Entry<Base>> all;
    for_every_class([&]<class T>() {
      if constexpr (std::is_base_of_v<Base, T>) all.push_back(entry<Base, T>());
    });
    return all;
  }();
  return entries;
}

template <class Base>
std::expected<std::unique_ptr<Base>, VexalError> load_from(std::span<const Entry<Base>> table,
                                                           SnapshotReader& in, std::string_view kind) {
  const std::string tag = in.text("class tag");
  if (!in.ok()) return in.failure();
  for (const auto& e : table) {
    if (e.tag == tag) return e.load(in);
  }
  return snapshot_error("unknown " + std::string(kind) + " class " + quoted_name(tag));
}

// Opens a snapshot and reads its tag, which must be `expected`.
std::expected<SnapshotReader, VexalError> open_as(std::span<const std::uint8_t> bytes,
                                                  std::string_view expected) {
  auto in = open_snapshot(bytes);
  if (!in) return in;
  SnapshotReader peeked = *in;
  const std::string tag = peeked.text("class tag");
  if (!peeked.ok()) return peeked.failure();
  if (tag != expected) {
    return snapshot_error("this is a snapshot of " + quoted_name(tag) + ", not of " + quoted_name(expected));
  }
  return in;
}

// Rebuilds with `load` from a reader still at the tag; all bytes must be used.
template <class T, class Load>
std::expected<T, VexalError> restore(std::span<const std::uint8_t> bytes, std::string_view expected,
                                     Load load) {
  auto in = open_as(bytes, expected);
  if (!in) return std::unexpected(std::move(in.error()));
  auto made = load(*in);
  if (!made) return std::unexpected(std::move(made.error()));
  if (auto done = in->finish(); !done) return std::unexpected(std::move(done.error()));
  return std::move(*made);
}

template <class T>
std::expected<T, VexalError> load_pipeline(SnapshotReader& in) {
  (void)in.text("class tag");
  return T::load(in);
}

}  // namespace

std::expected<std::unique_ptr<StreamingTransform>, VexalError> load_transform(SnapshotReader& in) {
  return load_from(table<StreamingTransform>(), in, "transform");
}

std::expected<std::unique_ptr<Target>, VexalError> load_target(SnapshotReader& in) {
  return load_from(table<Target>(), in, "target");
}

std::expected<std::string, VexalError> snapshot_class(std::span<const std::uint8_t> bytes) {
  auto in = open_snapshot(bytes);
  if (!in) return std::unexpected(std::move(in.error()));
  std::string tag = in->text("class tag");
  if (!in->ok()) return in->failure();
  return tag;
}

std::expected<std::unique_ptr<StreamingTransform>, VexalError> restore_transform(
    std::span<const std::uint8_t> bytes, std::string_view expected) {
  return restore<std::unique_ptr<StreamingTransform>>(bytes, expected, &load_transform);
}

std::expected<std::unique_ptr<Target>, VexalError> restore_target(std::span<const std::uint8_t> bytes,
                                                                  std::string_view expected) {
  return restore<std::unique_ptr<Target>>(bytes, expected, &load_target);
}

std::expected<FeaturePipeline, VexalError> restore_feature_pipeline(std::span<const std::uint8_t> bytes) {
  return restore<FeaturePipeline>(bytes, FeaturePipeline::snapshot_tag, &load_pipeline<FeaturePipeline>);
}

std::expected<TargetPipeline, VexalError> restore_target_pipeline(std::span<const std::uint8_t> bytes) {
  return restore<TargetPipeline>(bytes, TargetPipeline::snapshot_tag, &load_pipeline<TargetPipeline>);
}

}  // namespace vexal
