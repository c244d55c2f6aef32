#!/usr/bin/env bash
# Installs what the tests need and runs every test: the core's GoogleTest
# suite under CTest, then the Python suite against the installed package.
# Run it inside a virtual environment.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ! -f /usr/include/gtest/gtest.h ]; then
  echo "== installing GoogleTest (libgtest-dev)"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev
fi

echo "== installing vexal and the test requirements"
python -m pip install -q --upgrade pip
python -m pip install -q ".[test]"
command -v cmake >/dev/null || python -m pip install -q "cmake>=3.26"

echo "== core tests"
build_dir=build/core-tests
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVEXAL_BUILD_TESTS=ON -DVEXAL_BUILD_EXTENSION=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error

echo "== Python tests"
python -m pytest -q tests
