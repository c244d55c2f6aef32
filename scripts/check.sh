#!/usr/bin/env bash
# Installs what the tests need and runs every test:
#   1. the normal build: one tree (build/release, the "release" preset)
#      holds the extension pip installs and the core's GoogleTest suite;
#      CTest runs the core tests there, then the Python suite runs against
#      the installed package on two workers, and the tests marked serial
#      after it, alone;
#   2. the "sanitize" preset builds the core, its tests and the extension
#      with AddressSanitizer and UndefinedBehaviorSanitizer: the core tests
#      and the Python tests marked native run against it, and any sanitizer
#      report fails the run.
# Each stage prints its time; a table of them closes the run.
# Run it inside a virtual environment.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$SECONDS
jobs=$(nproc)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# -- stage times ------------------------------------------------------------------
stage_names=()
stage_times=()
stage=""
stage_started=$SECONDS
end_stage() {
  [ -n "$stage" ] || return 0
  local took=$((SECONDS - stage_started))
  stage_names+=("$stage")
  stage_times+=("$took")
  echo "   ($stage: $took s; $((SECONDS - started)) s so far)"
  stage=""
}
begin() {
  end_stage
  stage=$1
  stage_started=$SECONDS
  echo "== $1"
}
summary() {
  local status=$? failed=$stage
  end_stage
  echo "== stage times"
  local i
  for i in "${!stage_names[@]}"; do
    printf '   %-64s %6d s\n' "${stage_names[$i]}" "${stage_times[$i]}"
  done
  printf '   %-64s %6d s\n' "total" $((SECONDS - started))
  if [ "$status" -ne 0 ]; then echo "!! failed in: $failed"; fi
  echo "   load average: $(cut -d' ' -f1-3 /proc/loadavg)"
}
trap summary EXIT

# -- the normal build -----------------------------------------------------------------
begin "install (GoogleTest, vexal's wheel with core tests, test requirements)"
if [ ! -f /usr/include/gtest/gtest.h ]; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev
fi
python -m pip install -q --upgrade pip
command -v cmake >/dev/null || python -m pip install -q "cmake>=3.26"
# The wheel users get, built in the tree the release preset names, with the
# same options: the core tests are built beside the extension, so the core
# compiles once for both. It is repaired for manylinux and installed with the
# test requirements; every Python stage below runs against it.
bash scripts/build_wheel.sh --install

# More generated cases than a local run, as long as CI has the time.
export VEXAL_HYPOTHESIS_PROFILE=${VEXAL_HYPOTHESIS_PROFILE:-ci}

begin "core tests"
ctest --preset release -j "$jobs"

begin "Python tests (2 workers)"
python - <<'EOF'
import _vexal, pathlib, sys, vexal
# The suite must exercise the installed package, not a tree on the path.
for module in (_vexal, vexal):
    assert pathlib.Path(sys.prefix) in pathlib.Path(module.__file__).parents, module.__file__
EOF
# Tests that must not run beside each other share an xdist_group.
python -m pytest -q -p no:cacheprovider -n 2 --dist loadgroup -m "not serial" tests

begin "Python tests (serial)"
python -m pytest -q -p no:cacheprovider -m serial tests

begin "docs: site, examples, browser"
# The site is built from the installed wheel; its browser check drives
# Debian's chromium through its own driver.
if ! command -v chromium >/dev/null || ! command -v chromedriver >/dev/null; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium chromium-driver
fi
python -m pip install -q "$(ls dist/vexal-*.whl)[docs]"
python -m pytest -q -p no:cacheprovider tests/test_docs.py

# -- sanitizers -----------------------------------------------------------------
# One tree holds the core, its C++ tests and the extension, all compiled
# with -fsanitize=address,undefined; undefined behaviour is not recovered
# from. Every report is written below $reports as well, and a report
# anywhere (a test's child process included) fails the run.
begin "sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
san_dir=build/sanitize
reports="$root/$san_dir/reports"
cmake --preset sanitize -DPython_EXECUTABLE="$(command -v python)" >/dev/null
cmake --build --preset sanitize -j "$jobs"
rm -rf "$reports" && mkdir -p "$reports"

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

begin "core tests under the sanitizers (leak detection on)"
# Huge windows must be refused in an orderly way, not abort the process:
# allocator_may_return_null lets the reservation fail as it would without
# the sanitizer.
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:strict_string_checks=1:log_path=$reports/asan" \
  UBSAN_OPTIONS="$ubsan_options" \
  ctest --preset sanitize -j "$jobs"
check_reports

begin "native Python tests under the sanitizers"
# The interpreter itself is not instrumented: the runtimes are preloaded
# ahead of it, and leak detection is off for it (CPython keeps objects
# alive until exit by design); the Python leak tests measure leaks instead.
# Only the modules marked native: typing, stubs, Dask, the README and the
# demo drive no native code the native modules do not, and ran above.
preload="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
sanitized() {
  env LD_PRELOAD="$preload" \
    ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1:log_path=$reports/asan" \
    UBSAN_OPTIONS="$ubsan_options" \
    PYTHONPATH="$root/$san_dir:$root/python" \
    VEXAL_HYPOTHESIS_PROFILE=dev \
    "$@"
}
sanitized python - "$root/$san_dir" <<'EOF'
import sys, _vexal, vexal
# The suite must exercise the sanitized build, not the installed one.
assert _vexal.__file__.startswith(sys.argv[1]), _vexal.__file__
assert vexal.Sma is _vexal.Sma
EOF
# A test that preloads its own allocation counter into a child process
# cannot run behind the sanitizer runtime; the normal run covers it.
no_counter=(--deselect tests/test_pipelines.py::test_a_live_bar_allocates_nothing_in_native_code)
sanitized python -m pytest -q -p no:cacheprovider -n 2 --dist loadgroup -m "native and not serial" tests "${no_counter[@]}"
check_reports
sanitized python -m pytest -q -p no:cacheprovider -m "native and serial" tests "${no_counter[@]}"
check_reports
end_stage
echo "== all tests passed in $((SECONDS - started)) s"
