#include "targets.hpp"

#include <vector>

#include "frame/snapshot_methods.hpp"
#include "frame/transform_class.hpp"
#include "snapshot/registry.hpp"
#include "snapshot/writer.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_return.hpp"

namespace vexal::py {
namespace {

// A Python target keeps only its configuration; the core target is built
// from it whenever a pipeline needs one.
struct TargetConfig {
  Names inputs;
  std::size_t horizon;
  Names outputs;
};

struct TargetFace {
  const char* qualified_name;
  const char* doc;
  std::span<const Param> params;
  const char* output_names_doc;
  // Converts the arguments and validates them by building the core target once.
  TargetConfig (*construct)(const Args&);
  std::unique_ptr<Target> (*rebuild)(const TargetConfig&);
  std::string (*repr)(const TargetConfig&, const char* name);
};

// The configuration as the validated core target reports it (for
// FutureCTCVolatility this includes the derived output name).
template <class... T, class Create>
TargetConfig validated(const Args& args, Create create) {
  const auto target = unwrap(args.apply<T...>(create));
  return {target.input_names(), target.forward_period(), target.output_names()};
}

template <class Core>
std::unique_ptr<Target> rebuilt(std::expected<Core, VexalError>&& made) {
  return std::make_unique<Core>(unwrap(std::move(made)));
}

std::string horizon_repr(const TargetConfig& c, const char* name) {
  return render_repr(name, {{"inputs", list_form(c.inputs)},
                            {"horizon", std::to_string(c.horizon)},
                            {"outputs", list_form(c.outputs)}});
}

constexpr const char* kOutputNamesDoc = "output_names($self)\n--\n\nOutput column names.";
constexpr Param kInputsHorizonOutputs[] = {{"inputs"}, {"horizon"}, {"outputs"}};
constexpr Param kInputHorizon[] = {{"input"}, {"horizon"}};

constexpr TargetFace kFutureReturn = {
    "vexal.FutureReturn",
    "FutureReturn(inputs, horizon, outputs)\n--\n\nFuture simple return over ``horizon`` bars.",
    kInputsHorizonOutputs,
    kOutputNamesDoc,
    [](const Args& a) { return validated<Names, std::uint64_t, Names>(a, &FutureReturn::create); },
    [](const TargetConfig& c) { return rebuilt(FutureReturn::create(c.inputs, c.horizon, c.outputs)); },
    &horizon_repr,
};

constexpr TargetFace kFutureCTCVolatility = {
    "vexal.FutureCTCVolatility",
    "FutureCTCVolatility(input, horizon)\n--\n\nFuture close-to-close realized volatility.",
    kInputHorizon,
    kOutputNamesDoc,
    [](const Args& a) { return validated<std::string, std::uint64_t>(a, &FutureCTCVolatility::create); },
    [](const TargetConfig& c) { return rebuilt(FutureCTCVolatility::create(c.inputs.at(0), c.horizon)); },
    // The derived output name is not shown.
    [](const TargetConfig& c, const char* name) {
      return render_repr(name,
                         {{"input", quoted_name(c.inputs.at(0))}, {"horizon", std::to_string(c.horizon)}});
    },
};

constexpr TargetFace kFutureLinearSlope = {
    "vexal.FutureLinearSlope",
    "FutureLinearSlope(inputs, horizon, outputs)\n--\n\nFuture OLS slope and R\xc2\xb2 of y on x over the "
    "next "
    "``horizon`` bars.",
    kInputsHorizonOutputs,
    "output_names($self)\n--\n\nOutput column names (slope, r2).",
    [](const Args& a) { return validated<Names, std::uint64_t, Names>(a, &FutureLinearSlope::create); },
    [](const TargetConfig& c) { return rebuilt(FutureLinearSlope::create(c.inputs, c.horizon, c.outputs)); },
    &horizon_repr,
};

Ref input_names(TargetConfig& c) { return to_python(c.inputs); }
Ref output_names(TargetConfig& c) { return to_python(c.outputs); }
Ref forward_period(TargetConfig& c) { return size_to_python(c.horizon); }

struct RegisteredTarget {
  PyTypeObject* type;
  const TargetFace* face;
};
std::vector<RegisteredTarget>& registered_targets() {
  static std::vector<RegisteredTarget> targets;
  return targets;
}

template <const TargetFace& F>
struct TargetClass {
  static Ref repr(const TargetConfig& c) { return to_python(F.repr(c, short_name(F.qualified_name))); }
  static TargetConfig make(const Args& args) { return F.construct(args); }
  static inline const Signature kNew = {"__new__", F.params};

  // A target saves what its validated core target reports.
  static std::vector<std::uint8_t> save(PyTypeObject*, const TargetConfig& c) {
    return snapshot_of(*F.rebuild(c));
  }
  static TargetConfig load(PyTypeObject* type, std::span<const std::uint8_t> bytes) {
    const auto target = unwrap(restore_target(bytes, short_name(type->tp_name)));
    return {target->input_names(), target->forward_period(), target->output_names()};
  }
  static constexpr SnapshotCodec<TargetConfig> kCodec = {&save, &load};
  using Snapshots = SnapshotMethods<TargetConfig, kCodec>;

  static inline PyMethodDef methods[] = {
      {"input_names", as_method(&method_noargs<TargetConfig, SharedBorrow, kInputNamesSig, &input_names>),
       METH_FASTCALL | METH_KEYWORDS, "input_names($self)\n--\n\nInput column names."},
      {"output_names", as_method(&method_noargs<TargetConfig, SharedBorrow, kOutputNamesSig, &output_names>),
       METH_FASTCALL | METH_KEYWORDS, F.output_names_doc},
      {"forward_period",
       as_method(&method_noargs<TargetConfig, SharedBorrow, kForwardPeriodSig, &forward_period>),
       METH_FASTCALL | METH_KEYWORDS,
       "forward_period($self)\n--\n\nNumber of bars at the end that will be ``NaN``."},
      Snapshots::snapshot_def(),
      Snapshots::from_snapshot_def(),
      Snapshots::reduce_def(),
      Snapshots::copy_def(),
      Snapshots::deepcopy_def(),
      kMethodsEnd,
  };

  static void add(PyObject* module) {
    static PyTypeObject* type = [] {
      PyTypeObject* t = build_type(ClassDef{
          F.qualified_name,
          F.doc,
          sizeof(Instance<TargetConfig>),
          &dealloc_instance<TargetConfig>,
          &new_slot<TargetConfig, kNew, &make>,
          &repr_slot<TargetConfig, &repr>,
          nullptr,
          methods,
      });
      registered_targets().push_back({t, &F});
      remember_snapshot_type(t);
      return t;
    }();
    add_to_module(module, short_name(F.qualified_name), reinterpret_cast<PyObject*>(type));
  }
};

}  // namespace

void add_target_classes(PyObject* module) {
  TargetClass<kFutureReturn>::add(module);
  TargetClass<kFutureCTCVolatility>::add(module);
  TargetClass<kFutureLinearSlope>::add(module);
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
