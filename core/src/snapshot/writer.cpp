#include "snapshot/writer.hpp"

#include <utility>

#include "snapshot/crc32.hpp"
#include "snapshot/format.hpp"

namespace vexal {

SnapshotWriter::SnapshotWriter() {
  bytes_.assign(snapshot_format::kMagic.begin(), snapshot_format::kMagic.end());
  little_endian(snapshot_format::kVersion, 2);
}

void SnapshotWriter::text(std::string_view s) {
  u32(static_cast<std::uint32_t>(s.size()));
  bytes_.insert(bytes_.end(), s.begin(), s.end());
}

void SnapshotWriter::names(const Names& names) {
  u32(static_cast<std::uint32_t>(names.size()));
  for (const auto& name : names) text(name);
}

void SnapshotWriter::value(const OptionalValue& v) {
  u8(v ? 1 : 0);
  if (v) f64(*v);
}

void SnapshotWriter::values(const ValueBuffer& buffer) {
  size(buffer.size());
  buffer.for_each([&](const OptionalValue& v) { value(v); });
}

std::vector<std::uint8_t> SnapshotWriter::finish() {
  const std::uint32_t sum = crc32(bytes_);
  u32(sum);
  return std::exchange(bytes_, {});
}

}  // namespace vexal
