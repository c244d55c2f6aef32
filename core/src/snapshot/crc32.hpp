#pragma once

#include <cstdint>
#include <span>

namespace vexal {

// CRC-32 as in zlib and PNG (reflected polynomial 0xEDB88320).
[[nodiscard]] std::uint32_t crc32(std::span<const std::uint8_t> bytes);

}  // namespace vexal
