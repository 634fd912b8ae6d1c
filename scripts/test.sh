#!/usr/bin/env bash
# Runs every test from a clean clone: builds the extension wheel once and installs it into a
# virtual environment with the test dependencies, checks its exported symbols and its stable-ABI
# use, builds and runs the core library's C++ tests, then runs the Python tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

scripts/install_googletest.sh

# The venv's own pip builds and installs the wheel; it is not upgraded, which would ask the
# package index on every run.
python3 -m venv .venv
venv="$root/.venv/bin"
export PIP_DISABLE_PIP_VERSION_CHECK=1

echo "== building the wheel"
rm -rf build/wheelhouse
"$venv/pip" wheel -q --no-deps -w build/wheelhouse .
wheel=$(ls build/wheelhouse/veltrix_compute-*.whl)
"$venv/pip" install -q --force-reinstall "${wheel}[test]"

echo "== exported symbols and stable ABI"
module=$("$venv/python" -c "import veltrix_compute._compute as m; print(m.__file__)")
own_symbols=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TDBRVW]$/ {print $3}')
if [ "$own_symbols" != "PyInit__compute" ]; then
  echo "the extension exports more than PyInit__compute:"; echo "$own_symbols"; exit 1
fi
"$venv/abi3audit" --strict --report "$wheel" >/dev/null || { "$venv/abi3audit" --strict "$wheel"; exit 1; }

echo "== core tests"
"$venv/cmake" -S . -B build/core-tests -G Ninja -DCMAKE_MAKE_PROGRAM="$venv/ninja" \
  -DVELTRIX_BUILD_PYTHON=OFF -DVELTRIX_BUILD_TESTS=ON >/dev/null
"$venv/cmake" --build build/core-tests -j "$jobs"
(cd build/core-tests && "$venv/ctest" --output-on-failure --no-tests=error -j "$jobs" | tail -n 3)

echo "== Python tests under the other interpreters"
scripts/other_interpreters.sh "$wheel"

echo "== Python tests"
"$venv/python" -m pytest -q python/tests
