#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>
#include <vector>

#include "frame/args.hpp"
#include "frame/class_builder.hpp"
#include "frame/instance.hpp"
#include "frame/snapshot_methods.hpp"

namespace vexal::py {

// The whole Python face of one class, as data: name, docstring,
// constructor, its own methods and slots. Every class of the module is
// declared this way; the snapshot methods come from its codec.
template <class State>
struct ClassFace {
  const char* qualified_name;  // "vexal.Sma"
  const char* doc;             // class docstring with its text signature
  std::span<const Param> params;
  State (*construct)(const Args&);
  std::span<const PyMethodDef> methods;  // without the snapshot methods, which follow them
  reprfunc repr;                         // nullptr: the interpreter's default
  lenfunc length;                        // nullptr: no len()
  PyGetSetDef* getset = nullptr;         // read-only attributes, or none
};

// The type object built from one face, once. `Tag` tells apart classes
// that keep the same state (every transform keeps a TransformState).
template <class Tag, class State, const SnapshotCodec<State>& Codec>
struct FaceClass {
  static inline ClassFace<State> face{};
  static inline Signature kNew{"__new__", {}};
  // The type refers to these entries for as long as the process lives.
  static inline std::vector<PyMethodDef> methods;

  static State make(const Args& args) { return face.construct(args); }

  using Snapshots = SnapshotMethods<State, Codec>;

  static PyTypeObject* type(const ClassFace<State>& f) {
    static PyTypeObject* created = [&] {
      face = f;
      kNew = {"__new__", f.params};
      methods.assign(f.methods.begin(), f.methods.end());
      methods.insert(methods.end(),
                     {Snapshots::snapshot_def(), Snapshots::from_snapshot_def(), Snapshots::reduce_def(),
                      Snapshots::copy_def(), Snapshots::deepcopy_def(), kMethodsEnd});
      PyTypeObject* t = build_type(ClassDef{
          f.qualified_name,
          f.doc,
          sizeof(Instance<State>),
          &dealloc_instance<State>,
          &new_slot<State, kNew, &make>,
          f.repr,
          f.length,
          methods.data(),
          f.getset,
      });
      remember_snapshot_type(t);
      return t;
    }();
    return created;
  }
};

}  // namespace vexal::py
