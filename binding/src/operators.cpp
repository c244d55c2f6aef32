#include "operators.hpp"

#include "frame/transform_class.hpp"
#include "operators/neg_log.hpp"
#include "operators/subtract.hpp"

namespace vexal::py {
namespace {

constexpr const char* kResetNoOpDoc = "reset($self)\n--\n\nReset (no-op for stateless operators).";

template <class Core>
constexpr TransformFace stateless(const char* qualified_name, const char* doc, const char* update_doc) {
  return {
      qualified_name, doc,
      kInputsOutputs, update_doc,
      kResetNoOpDoc,  [](const Args& a) { return construct_with<Names, Names>(a, &Core::create); },
      &names_repr,
  };
}

constexpr TransformFace kSubtract = stateless<Subtract>(
    "vexal.Subtract", "Subtract(inputs, outputs)\n--\n\nElement-wise subtraction: A - B.",
    "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` if either input is ``NaN``.");
constexpr TransformFace kNegLog = stateless<NegLog>(
    "vexal.NegLog", "NegLog(inputs, outputs)\n--\n\nNegative natural logarithm: -ln(x).",
    "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` if input is ``NaN`` or <= 0.");

}  // namespace

void add_operator_classes(PyObject* module) {
  add_transform_class<kSubtract>(module);
  add_transform_class<kNegLog>(module);
}

}  // namespace vexal::py
