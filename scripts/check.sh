#!/usr/bin/env bash
# Installs what the tests need and runs every test twice:
#   1. the normal build: the core's GoogleTest suite under CTest, then the
#      Python suite against the installed package;
#   2. the same suites against a build with AddressSanitizer and
#      UndefinedBehaviorSanitizer: any sanitizer report fails the run.
# Run it inside a virtual environment.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$SECONDS

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
elapsed() { echo "   ($((SECONDS - started)) s so far)"; }

if [ ! -f /usr/include/gtest/gtest.h ]; then
  echo "== installing GoogleTest (libgtest-dev)"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev
fi

echo "== installing vexal and the test requirements"
python -m pip install -q --upgrade pip
# The project's own builds treat warnings as errors; a user's install does not.
python -m pip install -q ".[test]" --config-settings=cmake.define.VEXAL_WERROR=ON
command -v cmake >/dev/null || python -m pip install -q "cmake>=3.26"
elapsed

# More generated cases than a local run, as long as CI has the time.
export VEXAL_HYPOTHESIS_PROFILE=${VEXAL_HYPOTHESIS_PROFILE:-ci}

echo "== core tests"
build_dir=build/core-tests
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVEXAL_BUILD_TESTS=ON -DVEXAL_BUILD_EXTENSION=OFF \
  -DVEXAL_WERROR=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j "$(nproc)"
elapsed

echo "== Python tests"
python -m pytest -q tests
elapsed

# -- sanitizers -----------------------------------------------------------------
# One build holds the core, its C++ tests and the extension, all compiled
# with -fsanitize=address,undefined; undefined behaviour is not recovered
# from. Every report is written below $reports as well, and a report
# anywhere (a test's child process included) fails the run.
echo "== sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
san_dir=build/sanitize
reports="$root/$san_dir/reports"
cmake -S . -B "$san_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXAL_SANITIZE=ON -DVEXAL_BUILD_TESTS=ON \
  -DVEXAL_WERROR=ON -DVEXAL_BUILD_EXTENSION=ON -DPython_EXECUTABLE="$(command -v python)" >/dev/null
cmake --build "$san_dir" -j "$(nproc)"
rm -rf "$reports" && mkdir -p "$reports"
elapsed

# A report is an error of ASan or LeakSanitizer, or a runtime error of
# UBSan. The log also receives ASan's warning for an allocation it refused
# to make, which is how a huge window is meant to fail.
check_reports() {
  local found
  found=$(grep -lE "ERROR: |runtime error|SUMMARY: " "$reports"/* 2>/dev/null || true)
  if [ -n "$found" ]; then
    echo "!! sanitizer reports:"
    for f in $found; do echo "--- $f"; cat "$f"; done
    exit 1
  fi
}

ubsan_options="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"

echo "== core tests under the sanitizers (leak detection on)"
# Huge windows must be refused in an orderly way, not abort the process:
# allocator_may_return_null lets the reservation fail as it would without
# the sanitizer.
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:strict_string_checks=1:log_path=$reports/asan" \
  UBSAN_OPTIONS="$ubsan_options" \
  ctest --test-dir "$san_dir" --output-on-failure --no-tests=error -j "$(nproc)"
check_reports
elapsed

echo "== Python tests under the sanitizers"
# The interpreter itself is not instrumented: the runtimes are preloaded
# ahead of it, and leak detection is off for it (CPython keeps objects
# alive until exit by design); the Python leak tests measure leaks instead.
preload="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
export_sanitized() {
  env LD_PRELOAD="$preload" \
    ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1:log_path=$reports/asan" \
    UBSAN_OPTIONS="$ubsan_options" \
    PYTHONPATH="$root/$san_dir:$root/python" \
    VEXAL_HYPOTHESIS_PROFILE=dev \
    "$@"
}
export_sanitized python - "$root/$san_dir" <<'EOF'
import sys, _vexal, vexal
# The suite must exercise the sanitized build, not the installed one.
assert _vexal.__file__.startswith(sys.argv[1]), _vexal.__file__
assert vexal.Sma is _vexal.Sma
EOF
# A test that preloads its own allocation counter into a child process
# cannot run behind the sanitizer runtime; the normal run covers it.
export_sanitized python -m pytest -q tests -p no:cacheprovider \
  --deselect tests/test_pipelines.py::test_a_live_bar_allocates_nothing_in_native_code
check_reports
elapsed
echo "== all tests passed in $((SECONDS - started)) s"
