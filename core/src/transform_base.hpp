#pragma once

#include <expected>
#include <string_view>
#include <utility>

#include "error.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "traits.hpp"

namespace vexal {

// The failure every constructor check returns: InvalidInput with `msg`.
[[nodiscard]] inline std::unexpected<VexalError> invalid_input(std::string_view msg) {
  return std::unexpected(VexalError::invalid_input(std::string(msg)));
}

// Holds the input and output names every transform reports unchanged.
class NamedTransform : public StreamingTransform {
 public:
  [[nodiscard]] Names input_names() const override { return inputs_; }
  [[nodiscard]] Names output_names() const override { return outputs_; }

 protected:
  NamedTransform(Names inputs, Names outputs) : inputs_(std::move(inputs)), outputs_(std::move(outputs)) {}

  // The head of every transform's snapshot: its tag, then its names.
  void save_names(SnapshotWriter& out, std::string_view tag) const {
    out.text(tag);
    out.names(inputs_);
    out.names(outputs_);
  }

  Names inputs_;
  Names outputs_;
};

// The names a transform's snapshot starts with (after its tag).
struct StoredNames {
  Names inputs;
  Names outputs;
};
[[nodiscard]] inline StoredNames read_names(SnapshotReader& in) {
  Names inputs = in.names("input names");
  Names outputs = in.names("output names");
  return {std::move(inputs), std::move(outputs)};
}

}  // namespace vexal
