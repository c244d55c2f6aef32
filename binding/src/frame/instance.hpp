#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <utility>

#include "frame/args.hpp"
#include "frame/borrow.hpp"
#include "frame/errors.hpp"
#include "frame/ref.hpp"

namespace vexal::py {

// The layout of every instance: the interpreter's header, the wrapped
// state (a core object, or a target's configuration), the borrow counter,
// and whether the constructor built the state. The allocator zeroes a new
// object, so an instance made without the constructor (object.__new__ on
// our type) reads as not built and is refused instead of dereferenced.
template <class State>
struct Instance {
  PyObject_HEAD;
  State state;
  BorrowFlag borrow;
  bool built;
};

// Raises TypeError for an instance whose state was never built.
[[noreturn]] void refuse_unbuilt(PyObject* self);

// The instance behind `self`, refused unless its constructor built it.
// Every entry point reaches the state through here.
template <class State>
Instance<State>& instance_of(PyObject* self) {
  auto& inst = *reinterpret_cast<Instance<State>*>(self);
  if (!inst.built) [[unlikely]] {
    refuse_unbuilt(self);
  }
  return inst;
}

// Allocates an instance of `type` and moves the state into it.
template <class State>
PyObject* new_instance(PyTypeObject* type, State&& state) {
  Ref object = check_new(type->tp_alloc(type, 0));
  auto& inst = *reinterpret_cast<Instance<State>*>(object.get());
  std::construct_at(&inst.state, std::move(state));
  std::construct_at(&inst.borrow);
  inst.built = true;
  return object.release();
}

template <class State>
void dealloc_instance(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  auto& inst = *reinterpret_cast<Instance<State>*>(self);
  if (inst.built) {
    std::destroy_at(&inst.borrow);
    std::destroy_at(&inst.state);
  }
  type->tp_free(self);
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

// Entry points built from a body that works on the state. Each binds its
// arguments, takes the borrow before converting them (so a re-entrant
// conversion that calls back into the object is refused), runs the body and
// turns any failure into one Python exception.
// A method without parameters still binds its call against an empty
// signature, so that an argument is refused with the house messages
// ("Sma.reset() takes 0 positional arguments but 1 was given").
template <class State, class Borrow, const Signature& Sig, Ref (*Body)(State&)>
PyObject* method_noargs(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames) noexcept {
  return guarded([&] {
    (void)Args::bind(Sig, Py_TYPE(self), args, static_cast<std::size_t>(nargsf), kwnames);
    auto& inst = instance_of<State>(self);
    Borrow borrow(inst.borrow);
    return Body(inst.state).release();
  });
}

template <class State, class Borrow, const Signature& Sig, Ref (*Body)(State&, const Args&)>
PyObject* method_fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                          PyObject* kwnames) noexcept {
  return guarded([&] {
    const Args bound = Args::bind(Sig, Py_TYPE(self), args, static_cast<std::size_t>(nargsf), kwnames);
    auto& inst = instance_of<State>(self);
    Borrow borrow(inst.borrow);
    return Body(inst.state, bound).release();
  });
}

template <class State, Ref (*Body)(const State&)>
PyObject* repr_slot(PyObject* self) noexcept {
  return guarded([&] {
    auto& inst = instance_of<State>(self);
    SharedBorrow borrow(inst.borrow);
    return Body(inst.state).release();
  });
}

template <class State, std::size_t (*Body)(const State&)>
Py_ssize_t len_slot(PyObject* self) noexcept {
  return guarded(
      [&] {
        auto& inst = instance_of<State>(self);
        SharedBorrow borrow(inst.borrow);
        return static_cast<Py_ssize_t>(Body(inst.state));
      },
      Py_ssize_t{-1});
}

// A constructor: binds (type, args, kwargs) to `Sig` and builds the state
// with `Make`; only a fully built state becomes an instance.
template <class State, const Signature& Sig, State (*Make)(const Args&)>
PyObject* new_slot(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&] {
    const Args bound = Args::bind(Sig, type, args, kwargs);
    return new_instance(type, Make(bound));
  });
}

// A module-level function: bound like a method, but with no instance.
template <const Signature& Sig, Ref (*Body)(const Args&)>
PyObject* function_fastcall(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return guarded([&] {
    const Args bound = Args::bind(Sig, nullptr, args, static_cast<std::size_t>(nargsf), kwnames);
    return Body(bound).release();
  });
}

// Casts a C entry point of any of the method shapes into a PyMethodDef slot.
template <class F>
PyCFunction as_method(F* f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// The empty signatures of the methods without parameters.
inline constexpr Signature kResetSig = {"reset", {}};
inline constexpr Signature kInputNamesSig = {"input_names", {}};
inline constexpr Signature kOutputNamesSig = {"output_names", {}};
inline constexpr Signature kWarmUpPeriodSig = {"warm_up_period", {}};
inline constexpr Signature kForwardPeriodSig = {"forward_period", {}};

inline constexpr PyMethodDef kMethodsEnd = {nullptr, nullptr, 0, nullptr};

}  // namespace vexal::py
