#include "error.hpp"

#include "text/list_form.hpp"

namespace vexal {
namespace {

template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};

}  // namespace

std::string VexalError::display() const {
  return std::visit(
      Overloaded{
          [](const DuplicateOutputKey& e) {
            return "Duplicate output key '" + e.key + "': produced by index " + std::to_string(e.idx_a) +
                   " and " + std::to_string(e.idx_b);
          },
          [](const CyclicDependency&) { return std::string("Cyclic dependency detected among features"); },
          [](const MissingInputColumn& e) { return "Missing input column(s): " + list_form(e.missing); },
          [](const InvalidConfig& e) { return "Invalid configuration: " + e.msg; },
          [](const InvalidInput& e) { return "Invalid input: " + e.msg; },
      },
      variant_);
}

std::string VexalError::debug() const {
  return std::visit(
      Overloaded{
          [](const DuplicateOutputKey& e) {
            return "DuplicateOutputKey { key: " + quoted_name(e.key) + ", idx_a: " + std::to_string(e.idx_a) +
                   ", idx_b: " + std::to_string(e.idx_b) + " }";
          },
          [](const CyclicDependency&) { return std::string("CyclicDependency"); },
          [](const MissingInputColumn& e) { return "MissingInputColumn { missing: " + list_form(e.missing) + " }"; },
          [](const InvalidConfig& e) { return "InvalidConfig { msg: " + quoted_name(e.msg) + " }"; },
          [](const InvalidInput& e) { return "InvalidInput { msg: " + quoted_name(e.msg) + " }"; },
      },
      variant_);
}

}  // namespace vexal
