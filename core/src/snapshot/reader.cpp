#include "snapshot/reader.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <utility>

#include "snapshot/crc32.hpp"
#include "snapshot/format.hpp"
#include "snapshot/utf8.hpp"

namespace vexal {
namespace {

std::uint64_t little_endian(std::span<const std::uint8_t> bytes) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) v |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
  return v;
}

// The text of a constructor's refusal, without a second "Invalid input: ".
std::string reason(const VexalError& error) {
  if (const auto* e = std::get_if<VexalError::InvalidInput>(&error.variant())) return e->msg;
  return error.display();
}

}  // namespace

std::unexpected<VexalError> snapshot_error(std::string msg) {
  return std::unexpected(VexalError::invalid_input("snapshot: " + std::move(msg)));
}

void SnapshotReader::fail(std::string msg) {
  if (!error_) error_ = snapshot_error(std::move(msg)).error();
}

void SnapshotReader::refused(std::string_view class_name, const VexalError& error) {
  fail(std::string(class_name) + " refused its stored configuration: " + reason(error));
}

bool SnapshotReader::need(std::size_t n, std::string_view what) {
  if (error_) return false;
  if (n <= remaining()) return true;
  fail("truncated: " + std::string(what) + " needs " + std::to_string(n) + " byte(s) at offset " +
       std::to_string(offset()) + ", " + std::to_string(remaining()) + " remain");
  return false;
}

std::uint8_t SnapshotReader::u8(std::string_view what) {
  if (!need(1, what)) return 0;
  return body_[pos_++];
}

std::uint32_t SnapshotReader::u32(std::string_view what) {
  if (!need(4, what)) return 0;
  const auto v = static_cast<std::uint32_t>(little_endian(body_.subspan(pos_, 4)));
  pos_ += 4;
  return v;
}

std::uint64_t SnapshotReader::u64(std::string_view what) {
  if (!need(8, what)) return 0;
  const std::uint64_t v = little_endian(body_.subspan(pos_, 8));
  pos_ += 8;
  return v;
}

std::size_t SnapshotReader::size(std::string_view what) {
  const std::uint64_t v = u64(what);
  if constexpr (sizeof(std::size_t) < sizeof(std::uint64_t)) {
    if (v > std::numeric_limits<std::size_t>::max()) {
      fail(std::string(what) + " " + std::to_string(v) + " does not fit this platform");
      return 0;
    }
  }
  return static_cast<std::size_t>(v);
}

double SnapshotReader::f64(std::string_view what) { return std::bit_cast<double>(u64(what)); }

std::string SnapshotReader::text(std::string_view what) {
  const std::size_t start = offset();
  const std::uint32_t length = u32(what);
  if (!need(length, what)) return {};
  std::string s(reinterpret_cast<const char*>(body_.data() + pos_), length);
  if (!is_valid_utf8(s)) {
    fail(std::string(what) + " at offset " + std::to_string(start) + " is not valid UTF-8");
    return {};
  }
  pos_ += length;
  return s;
}

std::size_t SnapshotReader::count(std::string_view what, std::size_t min_bytes) {
  const std::size_t start = offset();
  const std::uint64_t n = u64(what);
  if (error_) return 0;
  if (n > remaining() / min_bytes) {
    fail(std::string(what) + " " + std::to_string(n) + " at offset " + std::to_string(start) +
         " exceeds what the remaining " + std::to_string(remaining()) + " byte(s) can hold");
    return 0;
  }
  return static_cast<std::size_t>(n);
}

Names SnapshotReader::names(std::string_view what) {
  const std::size_t start = offset();
  const std::uint32_t n = u32(what);
  if (error_) return {};
  // Each name takes at least its four length bytes.
  if (n > remaining() / 4) {
    fail(std::string(what) + " count " + std::to_string(n) + " at offset " + std::to_string(start) +
         " exceeds what the remaining " + std::to_string(remaining()) + " byte(s) can hold");
    return {};
  }
  Names out;
  out.reserve(n);
  for (std::uint32_t i = 0; i < n && ok(); ++i) out.push_back(text(what));
  return out;
}

OptionalValue SnapshotReader::value(std::string_view what) {
  const std::size_t start = offset();
  const std::uint8_t flag = u8(what);
  if (error_) return std::nullopt;
  if (flag > 1) {
    fail(std::string(what) + " at offset " + std::to_string(start) + " has presence flag " +
         std::to_string(flag) + ", not 0 or 1");
    return std::nullopt;
  }
  if (flag == 0) return std::nullopt;
  return f64(what);
}

void SnapshotReader::values_into(ValueBuffer& buffer, std::string_view what) {
  const std::size_t n = count(what, 1);
  if (error_) return;
  if (n > buffer.capacity()) {
    fail(std::to_string(n) + " " + std::string(what) + " stored where " + std::to_string(buffer.capacity()) +
         " fit");
    return;
  }
  buffer.clear();
  for (std::size_t i = 0; i < n && ok(); ++i) buffer.push_back(value(what));
}

std::expected<void, VexalError> SnapshotReader::finish() {
  if (error_) return failure();
  if (remaining() != 0) {
    return snapshot_error(std::to_string(remaining()) + " unexpected byte(s) after the fields at offset " +
                          std::to_string(offset()));
  }
  return {};
}

std::expected<SnapshotReader, VexalError> open_snapshot(std::span<const std::uint8_t> bytes) {
  using namespace snapshot_format;
  constexpr std::size_t smallest = kHeaderSize + kChecksumSize;
  if (bytes.size() < smallest) {
    return snapshot_error("truncated: " + std::to_string(bytes.size()) +
                          " byte(s), a snapshot has at least " + std::to_string(smallest));
  }
  if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
    return snapshot_error("not a vexal snapshot (the magic tag is missing)");
  }
  const auto version = static_cast<std::uint16_t>(little_endian(bytes.subspan(kMagic.size(), 2)));
  if (version == 0 || version > kVersion) {
    return snapshot_error("format version " + std::to_string(version) +
                          " is not one this library reads (1 to " + std::to_string(kVersion) + ")");
  }
  const std::size_t body_end = bytes.size() - kChecksumSize;
  const auto stored = static_cast<std::uint32_t>(little_endian(bytes.subspan(body_end, kChecksumSize)));
  if (crc32(bytes.first(body_end)) != stored) {
    return snapshot_error("checksum mismatch: the bytes are corrupted or truncated");
  }
  return SnapshotReader(bytes.subspan(kHeaderSize, body_end - kHeaderSize), kHeaderSize);
}

}  // namespace vexal
