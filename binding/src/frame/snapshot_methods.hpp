#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "frame/args.hpp"
#include "frame/instance.hpp"
#include "state_limit.hpp"

namespace vexal::py {

// How one kind of state becomes snapshot bytes and back. `type` is the
// Python class: its short name is the class tag the bytes must carry.
template <class State>
struct SnapshotCodec {
  std::vector<std::uint8_t> (*save)(PyTypeObject* type, const State& state);
  State (*load)(PyTypeObject* type, std::span<const std::uint8_t> bytes);
};

// A read-only view of any bytes-like object, released on every path. A
// buffer that is not contiguous (a strided memoryview, say) is copied.
class BytesView {
 public:
  // Raises TypeError "argument 'data': a bytes-like object is required, ...".
  explicit BytesView(PyObject* o);
  ~BytesView() { PyBuffer_Release(&view_); }
  BytesView(const BytesView&) = delete;
  BytesView& operator=(const BytesView&) = delete;

  [[nodiscard]] std::span<const std::uint8_t> bytes() const {
    if (copied_) return copy_;
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
  bool copied_ = false;
  std::vector<std::uint8_t> copy_;
};

// The largest state a snapshot may declare unless the caller says
// otherwise: untrusted bytes must not reserve unbounded memory.
inline constexpr std::uint64_t kDefaultSnapshotLimit = std::uint64_t{1} << 30;

// The `max_bytes` argument: a non-negative int, or None for no limit.
[[nodiscard]] std::optional<std::size_t> snapshot_limit(PyObject* given);

Ref bytes_to_python(const std::vector<std::uint8_t>& bytes);

// Every class that has snapshots, so that load() finds the one a snapshot
// names.
void remember_snapshot_type(PyTypeObject* type);
PyTypeObject* snapshot_type_named(std::string_view tag);

// The module function load(data).
PyMethodDef& load_function_def();

inline constexpr Param kDataParam[] = {{"data"}};
inline constexpr Param kLoadParams[] = {{"data"}, {"max_bytes", kDefaultSnapshotLimit}};
inline constexpr Param kMemoParam[] = {{"memo"}};
inline constexpr Signature kSnapshotSig = {"snapshot", {}};
inline constexpr Signature kFromSnapshotSig = {"from_snapshot", kLoadParams};
inline constexpr Signature kReduceSig = {"__reduce__", {}};
inline constexpr Signature kCopySig = {"__copy__", {}};
inline constexpr Signature kDeepCopySig = {"__deepcopy__", kMemoParam};

// snapshot(), from_snapshot(data), __reduce__(), __copy__() and
// __deepcopy__(memo) of one class, all built on its codec. Saving takes a
// shared borrow; a restored object is always a new one.
template <class State, const SnapshotCodec<State>& C>
struct SnapshotMethods {
  static PyObject* snapshot(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) noexcept {
    return guarded([&] {
      (void)Args::bind(kSnapshotSig, Py_TYPE(self), args, static_cast<std::size_t>(nargsf), kwnames);
      return saved(self).release();
    });
  }

  static PyObject* from_snapshot(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf,
                                 PyObject* kwnames) noexcept {
    return guarded([&] {
      auto* type = reinterpret_cast<PyTypeObject*>(cls);
      const Args bound = Args::bind(kFromSnapshotSig, type, args, static_cast<std::size_t>(nargsf), kwnames);
      const std::optional<std::size_t> limit = snapshot_limit(bound.raw(1));
      const BytesView data(bound.raw(0));
      std::optional<StateLimit> counted;
      if (limit) counted.emplace(*limit);
      return new_instance(type, C.load(type, data.bytes()));
    });
  }

  static PyObject* reduce(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                          PyObject* kwnames) noexcept {
    return guarded([&] {
      (void)Args::bind(kReduceSig, Py_TYPE(self), args, static_cast<std::size_t>(nargsf), kwnames);
      Ref bytes = saved(self);
      Ref rebuild =
          check_new(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "from_snapshot"));
      // Unpickling runs arbitrary code anyway; a limit would only stop an
      // object with long windows from coming back.
      return check(Py_BuildValue("(O(OO))", rebuild.get(), bytes.get(), Py_None));
    });
  }

  static PyObject* copy(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames) noexcept {
    return guarded([&] {
      (void)Args::bind(kCopySig, Py_TYPE(self), args, static_cast<std::size_t>(nargsf), kwnames);
      return copied(self);
    });
  }

  // The memo is not needed: the object holds no Python references.
  static PyObject* deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) noexcept {
    return guarded([&] {
      (void)Args::bind(kDeepCopySig, Py_TYPE(self), args, static_cast<std::size_t>(nargsf), kwnames);
      return copied(self);
    });
  }

  static PyMethodDef snapshot_def() {
    return {"snapshot", as_method(&snapshot), METH_FASTCALL | METH_KEYWORDS,
            "snapshot($self)\n--\n\nThe configuration and complete state as ``bytes``; ``from_snapshot()`` "
            "rebuilds an object that continues bit for bit alike."};
  }
  static PyMethodDef from_snapshot_def() {
    return {
        "from_snapshot", as_method(&from_snapshot), METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
        "from_snapshot($type, data, max_bytes=1073741824)\n--\n\nRebuild an object from the bytes "
        "``snapshot()`` returned.\n\n"
        "Raises ``ValueError`` for bytes that are corrupted, truncated or of another class, and for a "
        "snapshot whose\nwindows would need more than ``max_bytes`` bytes of memory (``None``: no limit)."};
  }
  static PyMethodDef reduce_def() {
    return {"__reduce__", as_method(&reduce), METH_FASTCALL | METH_KEYWORDS,
            "__reduce__($self)\n--\n\nPickle support: rebuilt by ``from_snapshot()``."};
  }
  static PyMethodDef copy_def() {
    return {"__copy__", as_method(&copy), METH_FASTCALL | METH_KEYWORDS,
            "__copy__($self)\n--\n\nAn independent copy with the same state."};
  }
  static PyMethodDef deepcopy_def() {
    return {"__deepcopy__", as_method(&deepcopy), METH_FASTCALL | METH_KEYWORDS,
            "__deepcopy__($self, memo)\n--\n\nAn independent copy with the same state."};
  }

 private:
  static Ref saved(PyObject* self) {
    auto& inst = instance_of<State>(self);
    std::vector<std::uint8_t> bytes;
    {
      SharedBorrow borrow(inst.borrow);
      bytes = C.save(Py_TYPE(self), inst.state);
    }
    return bytes_to_python(bytes);
  }

  static PyObject* copied(PyObject* self) {
    auto& inst = instance_of<State>(self);
    std::vector<std::uint8_t> bytes;
    {
      SharedBorrow borrow(inst.borrow);
      bytes = C.save(Py_TYPE(self), inst.state);
    }
    return new_instance(Py_TYPE(self), C.load(Py_TYPE(self), bytes));
  }
};

}  // namespace vexal::py
