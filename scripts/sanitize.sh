#!/usr/bin/env bash
# Builds the core tests and the extension with AddressSanitizer and UndefinedBehaviorSanitizer in
# build/sanitize, runs ctest there, then the whole pytest suite against the sanitized extension.
# Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
build="$root/build/sanitize"
started=$(date +%s)

# A venv of its own for the tools; the extension is not installed there but loaded from the
# build tree.
python3 -m venv "$build/venv"
venv="$build/venv/bin"
"$venv/pip" install -q --disable-pip-version-check pytest hypothesis "cmake>=3.26" ninja
scripts/install_googletest.sh

echo "== sanitized build"
"$venv/cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$venv/ninja" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_SANITIZE=ON -DVELTRIX_BUILD_TESTS=ON \
  -DVELTRIX_BUILD_PYTHON=ON -DPython_EXECUTABLE="$venv/python" >/dev/null
"$venv/cmake" --build "$build" -j "$jobs"

export ASAN_OPTIONS=detect_leaks=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
log="$build/sanitizer.log"
: >"$log"

echo "== core tests"
if ! (cd "$build" && "$venv/ctest" --output-on-failure -j "$jobs" >>"$log" 2>&1); then
  cat "$log"
  exit 1
fi
grep -E '% tests passed' "$log"
# The tests that replace the allocator skip themselves under the sanitizers, which own it.
echo "$(grep -c '(Skipped)$' "$log" || true) skipped"

# The sanitized module, importable as the package veltrix_compute ahead of any installed one.
package="$build/package/veltrix_compute"
rm -rf "$build/package"
mkdir -p "$package"
cp python/veltrix_compute/__init__.py "$package/"
module=$(ls "$build"/python/_compute*.so)
ln -s "$module" "$package/"

echo "== Python tests"
# The interpreter is not built with the sanitizers, so their runtimes must be loaded first;
# its own allocations are never freed at exit, hence no leak detection.
preload=$(g++ -print-file-name=libasan.so)
ubsan=$(g++ -print-file-name=libubsan.so)
[ -f "$ubsan" ] && preload="$preload:$ubsan"
loaded=$(LD_PRELOAD="$preload" PYTHONPATH="$build/package" "$venv/python" -c \
  'import veltrix_compute._compute as m; print(m.__file__)')
if [ "$(realpath "$loaded")" != "$(realpath "$module")" ]; then
  echo "the tests would load $loaded, not the sanitized $module" >&2
  exit 1
fi
LD_PRELOAD="$preload" PYTHONPATH="$build/package" "$venv/python" -m pytest -q -p no:cacheprovider \
  python/tests 2>&1 | tee -a "$log"

if grep -E -q 'ERROR: AddressSanitizer|runtime error:|ERROR: LeakSanitizer' "$log"; then
  echo "sanitizer reports in $log:" >&2
  grep -E -A 30 'ERROR: AddressSanitizer|runtime error:' "$log" >&2
  exit 1
fi
echo "no sanitizer report ($(($(date +%s) - started)) s)"
