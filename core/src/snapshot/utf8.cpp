#include "snapshot/utf8.hpp"

#include <cstddef>
#include <cstdint>

namespace vexal {

bool is_valid_utf8(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const auto continuation = [&](std::size_t k) { return k < n && (at(k) & 0xC0U) == 0x80U; };
  while (i < n) {
    const std::uint8_t b = at(i);
    if (b < 0x80U) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    std::uint8_t lo = 0x80U;  // the allowed range of the second byte
    std::uint8_t hi = 0xBFU;
    if (b >= 0xC2U && b <= 0xDFU) {
      len = 2;
    } else if (b >= 0xE0U && b <= 0xEFU) {
      len = 3;
      if (b == 0xE0U) lo = 0xA0U;  // overlong
      if (b == 0xEDU) hi = 0x9FU;  // surrogates
    } else if (b >= 0xF0U && b <= 0xF4U) {
      len = 4;
      if (b == 0xF0U) lo = 0x90U;  // overlong
      if (b == 0xF4U) hi = 0x8FU;  // above U+10FFFF
    } else {
      return false;
    }
    if (i + 1 >= n || at(i + 1) < lo || at(i + 1) > hi) return false;
    for (std::size_t k = 2; k < len; ++k) {
      if (!continuation(i + k)) return false;
    }
    i += len;
  }
  return true;
}

}  // namespace vexal
