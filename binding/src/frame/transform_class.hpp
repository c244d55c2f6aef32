#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "frame/args.hpp"
#include "frame/class_builder.hpp"
#include "frame/class_face.hpp"
#include "frame/instance.hpp"
#include "frame/snapshot_methods.hpp"
#include "text/list_form.hpp"
#include "traits.hpp"

namespace vexal::py {

// A Python feature, scaler or operator object owns exactly one core transform.
using TransformState = std::unique_ptr<StreamingTransform>;
using TransformInstance = Instance<TransformState>;

// The whole Python face of one streaming-transform class, as data. The
// methods (update, reset, input_names, output_names, warm_up_period) are
// the same code for every class; only their docstrings differ.
struct TransformFace {
  const char* qualified_name;  // "vexal.Sma"
  const char* doc;             // class docstring with its text signature
  std::span<const Param> params;
  const char* update_doc;
  const char* reset_doc;
  TransformState (*construct)(const Args&);
  // Renders the representation; gets the class name to put in front.
  std::string (*repr)(const StreamingTransform&, const char* name);
};

// Docstrings shared by most transforms.
inline constexpr const char* kUpdateWarmUpDoc =
    "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` during warm-up or on ``NaN`` input.";
inline constexpr const char* kResetStateDoc =
    "reset($self)\n--\n\nReset internal state (e.g. between CPCV splits).";

// The common parameter lists.
inline constexpr Param kInputsWindowOutputs[] = {{"inputs"}, {"window"}, {"outputs"}};
inline constexpr Param kInputsOutputs[] = {{"inputs"}, {"outputs"}};

// Builds the core object from converted arguments, raising its error.
template <class T, class E>
TransformState owned(std::expected<T, E>&& made) {
  return std::make_unique<T>(unwrap(std::move(made)));
}

// Converts the arguments in declared order and runs the core constructor.
template <class... T, class Create>
TransformState construct_with(const Args& args, Create create) {
  return owned(args.apply<T...>(create));
}

// The class name of a qualified type name ("Sma" for "vexal.Sma").
inline const char* short_name(const char* qualified) {
  const char* dot = std::strrchr(qualified, '.');
  return dot != nullptr ? dot + 1 : qualified;
}

// Builds a representation from (keyword, rendered value) pairs:
// Name(inputs=["close"], window=20, outputs=["sma"]).
std::string render_repr(const char* name, std::initializer_list<std::pair<const char*, std::string>> fields);

// A float as Python's repr writes it ("2.0", "0.1").
std::string float_repr(double v);

// "Name(inputs=[...], window=N, outputs=[...])" for any windowed transform.
template <class Core>
std::string window_repr(const StreamingTransform& t, const char* name) {
  const auto& core = static_cast<const Core&>(t);
  return render_repr(name, {{"inputs", list_form(core.input_names())},
                            {"window", std::to_string(core.window())},
                            {"outputs", list_form(core.output_names())}});
}

// "Name(inputs=[...], outputs=[...])".
inline std::string names_repr(const StreamingTransform& t, const char* name) {
  return render_repr(name,
                     {{"inputs", list_form(t.input_names())}, {"outputs", list_form(t.output_names())}});
}

namespace transform_methods {
Ref update(TransformState& t, const Args& args);
Ref peek(TransformState& t, const Args& args);
Ref reset(TransformState& t);
Ref input_names(TransformState& t);
Ref output_names(TransformState& t);
Ref warm_up_period(TransformState& t);
inline constexpr Param kValues[] = {{"values"}};
inline constexpr Signature kUpdate = {"update", kValues};
inline constexpr Signature kPeek = {"peek", kValues};
inline constexpr const char* kPeekDoc =
    "peek($self, values)\n--\n\nThe result ``update(values)`` would return now, leaving the state as it "
    "is.";
std::vector<std::uint8_t> save(PyTypeObject* type, const TransformState& t);
TransformState load(PyTypeObject* type, std::span<const std::uint8_t> bytes);
inline constexpr SnapshotCodec<TransformState> kCodec = {&save, &load};
}  // namespace transform_methods

// Every transform type in registration order: the order in which a
// pipeline recognises its features.
std::span<PyTypeObject* const> transform_types();
void remember_transform_type(PyTypeObject* type);

// The type object of the class wrapping `Core`, created once from its face
// (the registry's entry for it) as a ClassFace. The face is data read at
// run time, so a class needs nothing but that entry.
template <class Core>
struct TransformClass {
  static inline TransformFace face{};

  static Ref repr(const TransformState& t) {
    return to_python(face.repr(*t, short_name(face.qualified_name)));
  }

  static PyTypeObject* type(const TransformFace& f) {
    static PyTypeObject* created = [&] {
      face = f;
      // The update and reset docstrings come from the face.
      const PyMethodDef own[] = {
          {"update",
           as_method(&method_fastcall<TransformState, ExclusiveBorrow, transform_methods::kUpdate,
                                      &transform_methods::update>),
           METH_FASTCALL | METH_KEYWORDS, f.update_doc},
          {"peek",
           as_method(&method_fastcall<TransformState, ExclusiveBorrow, transform_methods::kPeek,
                                      &transform_methods::peek>),
           METH_FASTCALL | METH_KEYWORDS, transform_methods::kPeekDoc},
          {"reset",
           as_method(&method_noargs<TransformState, ExclusiveBorrow, kResetSig, &transform_methods::reset>),
           METH_FASTCALL | METH_KEYWORDS, f.reset_doc},
          {"input_names",
           as_method(
               &method_noargs<TransformState, SharedBorrow, kInputNamesSig, &transform_methods::input_names>),
           METH_FASTCALL | METH_KEYWORDS, "input_names($self)\n--\n\nInput column names."},
          {"output_names",
           as_method(&method_noargs<TransformState, SharedBorrow, kOutputNamesSig,
                                    &transform_methods::output_names>),
           METH_FASTCALL | METH_KEYWORDS, "output_names($self)\n--\n\nOutput column names."},
          {"warm_up_period",
           as_method(&method_noargs<TransformState, SharedBorrow, kWarmUpPeriodSig,
                                    &transform_methods::warm_up_period>),
           METH_FASTCALL | METH_KEYWORDS,
           "warm_up_period($self)\n--\n\nNumber of bars before the first valid output."},
      };
      PyTypeObject* t = FaceClass<TransformClass, TransformState, transform_methods::kCodec>::type({
          f.qualified_name,
          f.doc,
          f.params,
          f.construct,
          own,
          &repr_slot<TransformState, &repr>,
          nullptr,
      });
      remember_transform_type(t);
      return t;
    }();
    return created;
  }
};

// The face of a class built as Name(inputs, window, outputs), whose repr
// shows those three.
template <class Core>
constexpr TransformFace windowed(const char* qualified_name, const char* doc, const char* update_doc,
                                 const char* reset_doc = kResetStateDoc) {
  return {
      qualified_name,
      doc,
      kInputsWindowOutputs,
      update_doc,
      reset_doc,
      [](const Args& a) { return construct_with<Names, std::uint64_t, Names>(a, &Core::create); },
      [](const StreamingTransform& t, const char* name) { return window_repr<Core>(t, name); },
  };
}

// The face of a class built as Name(inputs, outputs).
template <class Core>
constexpr TransformFace stateless(const char* qualified_name, const char* doc, const char* update_doc,
                                  const char* reset_doc) {
  return {
      qualified_name, doc,       kInputsOutputs,
      update_doc,     reset_doc, [](const Args& a) { return construct_with<Names, Names>(a, &Core::create); },
      &names_repr,
  };
}

}  // namespace vexal::py
