#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "optional_value.hpp"
#include "traits.hpp"
#include "value_buffer.hpp"

namespace vexal {

// Builds one snapshot: the header first, then the fields in the order they
// are written, all little-endian; finish() appends the checksum.
class SnapshotWriter {
 public:
  SnapshotWriter();

  void u8(std::uint8_t v) { bytes_.push_back(v); }
  void u32(std::uint32_t v) { little_endian(v, 4); }
  void u64(std::uint64_t v) { little_endian(v, 8); }
  void size(std::size_t v) { u64(static_cast<std::uint64_t>(v)); }
  // The exact bits, so NaN payloads and signed zeros survive.
  void f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }
  // A class tag, a name: u32 length, then the UTF-8 bytes.
  void text(std::string_view s);
  void names(const Names& names);
  // A presence byte (0 or 1), then the value when present.
  void value(const OptionalValue& v);
  // A u64 count, then the values oldest first.
  void values(const ValueBuffer& buffer);

  // The finished snapshot; the writer is left empty.
  [[nodiscard]] std::vector<std::uint8_t> finish();

 private:
  void little_endian(std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }

  std::vector<std::uint8_t> bytes_;
};

// The whole snapshot of anything with `save(SnapshotWriter&) const`.
template <class T>
[[nodiscard]] std::vector<std::uint8_t> snapshot_of(const T& object) {
  SnapshotWriter out;
  object.save(out);
  return out.finish();
}

}  // namespace vexal
