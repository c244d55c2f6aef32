#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vexal::snapshot_format {

// The layout is described in docs/snapshot-format.md; every version this
// library ever wrote stays readable by it.
inline constexpr std::string_view kMagic = "VEXALSNP";
inline constexpr std::uint16_t kVersion = 1;
// Magic, version, and the checksum at the end.
inline constexpr std::size_t kHeaderSize = 8 + 2;
inline constexpr std::size_t kChecksumSize = 4;

}  // namespace vexal::snapshot_format
