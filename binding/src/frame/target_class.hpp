#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "frame/args.hpp"
#include "frame/class_builder.hpp"
#include "frame/class_face.hpp"
#include "frame/instance.hpp"
#include "frame/snapshot_methods.hpp"
#include "frame/transform_class.hpp"
#include "snapshot/registry.hpp"
#include "snapshot/writer.hpp"
#include "text/list_form.hpp"
#include "traits.hpp"

namespace vexal::py {

// A Python target keeps only its configuration; the core target is built
// from it whenever a pipeline needs one.
struct TargetConfig {
  Names inputs;
  std::size_t horizon;
  Names outputs;
  // The options after the outputs, in parameter order (TripleBarrier's
  // upper and lower; nullopt for a barrier that is not set).
  std::vector<std::optional<double>> options = {};
};

// The configuration of a target without options.
TargetConfig config_of(const Target& target);

// The whole Python face of one target class, as data.
struct TargetFace {
  const char* qualified_name;
  const char* doc;
  std::span<const Param> params;
  const char* output_names_doc;
  // Converts the arguments and validates them by building the core target once.
  TargetConfig (*construct)(const Args&);
  std::unique_ptr<Target> (*rebuild)(const TargetConfig&);
  std::string (*repr)(const TargetConfig&, const char* name);
  // The configuration a built core target reports, options included.
  TargetConfig (*configured)(const Target&) = &config_of;
};

// The configuration as the validated core target reports it (for
// FutureCTCVolatility this includes the derived output name).
template <class... T, class Create>
TargetConfig validated(const Args& args, Create create) {
  return config_of(unwrap(args.apply<T...>(create)));
}

template <class Core>
std::unique_ptr<Target> rebuilt(std::expected<Core, VexalError>&& made) {
  return std::make_unique<Core>(unwrap(std::move(made)));
}

// "Name(inputs=[...], horizon=N, outputs=[...])".
std::string horizon_repr(const TargetConfig& c, const char* name);

inline constexpr const char* kOutputNamesDoc = "output_names($self)\n--\n\nOutput column names.";
inline constexpr Param kInputsHorizonOutputs[] = {{"inputs"}, {"horizon"}, {"outputs"}};

namespace target_methods {
Ref input_names(TargetConfig& c);
Ref output_names(TargetConfig& c);
Ref forward_period(TargetConfig& c);
}  // namespace target_methods

// Every target type with its face, in registration order: the order in
// which a pipeline recognises its targets.
void remember_target_type(PyTypeObject* type, const TargetFace& face);

// Builds a new core target from the configuration a Python target object
// keeps; nullptr when `obj` is not a target object.
std::unique_ptr<Target> rebuild_target(PyObject* obj);

// The type object of the target class wrapping `Core`, created once from
// its face (the registry's entry for it) as a ClassFace.
template <class Core>
struct TargetClass {
  static inline TargetFace face{};

  static Ref repr(const TargetConfig& c) { return to_python(face.repr(c, short_name(face.qualified_name))); }

  // A target saves what its validated core target reports.
  static std::vector<std::uint8_t> save(PyTypeObject*, const TargetConfig& c) {
    return snapshot_of(*face.rebuild(c));
  }
  static TargetConfig load(PyTypeObject* type, std::span<const std::uint8_t> bytes) {
    return face.configured(*unwrap(restore_target(bytes, short_name(type->tp_name))));
  }
  static constexpr SnapshotCodec<TargetConfig> kCodec = {&save, &load};

  static PyTypeObject* type(const TargetFace& f) {
    static PyTypeObject* created = [&] {
      face = f;
      // The output_names docstring comes from the face.
      const PyMethodDef own[] = {
          {"input_names",
           as_method(
               &method_noargs<TargetConfig, SharedBorrow, kInputNamesSig, &target_methods::input_names>),
           METH_FASTCALL | METH_KEYWORDS, "input_names($self)\n--\n\nInput column names."},
          {"output_names",
           as_method(
               &method_noargs<TargetConfig, SharedBorrow, kOutputNamesSig, &target_methods::output_names>),
           METH_FASTCALL | METH_KEYWORDS, f.output_names_doc},
          {"forward_period",
           as_method(&method_noargs<TargetConfig, SharedBorrow, kForwardPeriodSig,
                                    &target_methods::forward_period>),
           METH_FASTCALL | METH_KEYWORDS,
           "forward_period($self)\n--\n\nNumber of bars at the end that will be ``NaN``."},
      };
      PyTypeObject* t = FaceClass<TargetClass, TargetConfig, kCodec>::type({
          f.qualified_name,
          f.doc,
          f.params,
          f.construct,
          own,
          &repr_slot<TargetConfig, &repr>,
          nullptr,
      });
      remember_target_type(t, face);
      return t;
    }();
    return created;
  }
};

}  // namespace vexal::py
