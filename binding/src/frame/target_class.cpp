#include "frame/target_class.hpp"

namespace vexal::py {
namespace {

struct RegisteredTarget {
  PyTypeObject* type;
  const TargetFace* face;
};
std::vector<RegisteredTarget>& registered_targets() {
  static std::vector<RegisteredTarget> targets;
  return targets;
}

}  // namespace

TargetConfig config_of(const Target& target) {
  return {target.input_names(), target.forward_period(), target.output_names()};
}

std::string horizon_repr(const TargetConfig& c, const char* name) {
  return render_repr(name, {{"inputs", list_form(c.inputs)},
                            {"horizon", std::to_string(c.horizon)},
                            {"outputs", list_form(c.outputs)}});
}

namespace target_methods {
Ref input_names(TargetConfig& c) { return to_python(c.inputs); }
Ref output_names(TargetConfig& c) { return to_python(c.outputs); }
Ref forward_period(TargetConfig& c) { return size_to_python(c.horizon); }
}  // namespace target_methods

void remember_target_type(PyTypeObject* type, const TargetFace& face) {
  registered_targets().push_back({type, &face});
}

std::unique_ptr<Target> rebuild_target(PyObject* obj) {
  for (const RegisteredTarget& target : registered_targets()) {
    if (PyObject_TypeCheck(obj, target.type)) {
      auto& inst = instance_of<TargetConfig>(obj);
      SharedBorrow borrow(inst.borrow);
      return target.face->rebuild(inst.state);
    }
  }
  return nullptr;
}

}  // namespace vexal::py
