#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vexal::py {

// Holds off the cycle collector while a large result is built. Every new
// list counts towards the next collection, and a million of them set off
// collections that traverse everything built so far, over and over: that
// cost more than computing the rows. The rows hold only floats, so they
// form no cycles, and no Python code runs while they are built; the
// collector's previous state is restored however the build ends, and the
// count it kept meanwhile starts the next collection on time.
class GcPause {
 public:
  GcPause() : was_enabled_(PyGC_Disable() == 1) {}
  GcPause(const GcPause&) = delete;
  GcPause& operator=(const GcPause&) = delete;
  ~GcPause() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  bool was_enabled_;
};

}  // namespace vexal::py
