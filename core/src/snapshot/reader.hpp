#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "error.hpp"
#include "optional_value.hpp"
#include "traits.hpp"
#include "value_buffer.hpp"

namespace vexal {

// Reads the fields of one snapshot whose envelope open_snapshot has checked.
// Every length and count is checked against the bytes that remain before
// anything is allocated. The first failure sticks: later reads return zero
// values without consuming anything, so a loader reads all its fields and
// checks once, before it builds anything from them.
class SnapshotReader {
 public:
  // `body` lies `offset` bytes into the snapshot (for error messages).
  SnapshotReader(std::span<const std::uint8_t> body, std::size_t offset) : body_(body), base_(offset) {}

  std::uint8_t u8(std::string_view what);
  std::uint32_t u32(std::string_view what);
  std::uint64_t u64(std::string_view what);
  std::size_t size(std::string_view what);
  double f64(std::string_view what);
  std::string text(std::string_view what);
  Names names(std::string_view what);
  OptionalValue value(std::string_view what);
  // A count of items that take at least `min_bytes` each, bounded by the
  // bytes that remain.
  std::size_t count(std::string_view what, std::size_t min_bytes);
  // Refills `buffer` with a stored run of values, which must fit in it.
  void values_into(ValueBuffer& buffer, std::string_view what);

  // Records a failure: "snapshot: <msg>".
  void fail(std::string msg);
  // A configuration the class's own constructor refused.
  void refused(std::string_view class_name, const VexalError& error);

  [[nodiscard]] bool ok() const { return !error_; }
  [[nodiscard]] std::unexpected<VexalError> failure() const { return std::unexpected(*error_); }
  // Fails unless every byte was read.
  [[nodiscard]] std::expected<void, VexalError> finish();

  // What a class's own `create` built from the stored configuration; a
  // refusal becomes this reader's failure.
  template <class T>
  [[nodiscard]] std::optional<T> built(std::string_view class_name, std::expected<T, VexalError>&& made) {
    if (error_) return std::nullopt;
    if (!made) {
      refused(class_name, made.error());
      return std::nullopt;
    }
    return std::optional<T>(std::move(*made));
  }

  // `made` when every read succeeded, else the first failure.
  template <class T>
  [[nodiscard]] std::expected<T, VexalError> result(T&& made) {
    if (error_) return failure();
    return std::move(made);
  }

 private:
  // Whether `n` more bytes remain; records a truncation when not.
  bool need(std::size_t n, std::string_view what);
  [[nodiscard]] std::size_t remaining() const { return body_.size() - pos_; }
  [[nodiscard]] std::size_t offset() const { return base_ + pos_; }

  std::span<const std::uint8_t> body_;
  std::size_t base_;
  std::size_t pos_ = 0;
  std::optional<VexalError> error_;
};

// Checks the envelope (size, magic, format version, checksum) and returns a
// reader over the fields.
[[nodiscard]] std::expected<SnapshotReader, VexalError> open_snapshot(std::span<const std::uint8_t> bytes);

// The failure "snapshot: <msg>" as a value.
[[nodiscard]] std::unexpected<VexalError> snapshot_error(std::string msg);

}  // namespace vexal
