#pragma once

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace vexal {

// The one error type of the core. Every fallible operation returns it as a
// value; it owns its strings and passes to the caller.
class VexalError {
 public:
  struct DuplicateOutputKey {
    std::string key;
    std::size_t idx_a;
    std::size_t idx_b;
  };
  struct CyclicDependency {};
  struct MissingInputColumn {
    std::vector<std::string> missing;
  };
  struct InvalidConfig {
    std::string msg;
  };
  struct InvalidInput {
    std::string msg;
  };
  using Variant =
      std::variant<DuplicateOutputKey, CyclicDependency, MissingInputColumn, InvalidConfig, InvalidInput>;

  explicit VexalError(Variant v) : variant_(std::move(v)) {}

  static VexalError duplicate_output_key(std::string key, std::size_t idx_a, std::size_t idx_b) {
    return VexalError(DuplicateOutputKey{std::move(key), idx_a, idx_b});
  }
  static VexalError cyclic_dependency() { return VexalError(CyclicDependency{}); }
  static VexalError missing_input_column(std::vector<std::string> missing) {
    return VexalError(MissingInputColumn{std::move(missing)});
  }
  static VexalError invalid_config(std::string msg) { return VexalError(InvalidConfig{std::move(msg)}); }
  static VexalError invalid_input(std::string msg) { return VexalError(InvalidInput{std::move(msg)}); }

  [[nodiscard]] const Variant& variant() const { return variant_; }
  template <class V>
  [[nodiscard]] bool is() const {
    return std::holds_alternative<V>(variant_);
  }

  // The user-facing text, e.g. "Invalid input: window must be non-zero".
  [[nodiscard]] std::string display() const;
  // Names the variant and its fields; used only in internal-failure messages.
  [[nodiscard]] std::string debug() const;

  friend bool operator==(const VexalError& a, const VexalError& b) { return a.debug() == b.debug(); }

 private:
  Variant variant_;
};

}  // namespace vexal
