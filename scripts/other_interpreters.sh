#!/usr/bin/env bash
# Usage: scripts/other_interpreters.sh WHEEL
# Runs the Python tests with the given (already built) wheel under every other CPython 3.10 or
# newer on this machine: the one cp310-abi3 wheel must import and pass under each of them, not
# only under the interpreter it was built with. Looks at python3.1N on PATH and at pyenv's
# versions; one interpreter per minor version, since the stable ABI is fixed per minor release.
# Each gets a venv under build/other-interpreters, reused by later runs.
set -euo pipefail
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 WHEEL" >&2
  exit 2
fi
wheel=$(realpath "$1")
cd "$(dirname "$0")/.."
root=$(pwd)

describe='import sys; print(sys.implementation.name, "%d.%d" % sys.version_info[:2], "%d.%d.%d" % sys.version_info[:3])'

# The interpreter that runs the main suite: the project's venv when there is one.
main_python="$root/.venv/bin/python"
[ -x "$main_python" ] || main_python=$(command -v python3)
read -r _ main_minor main_version < <("$main_python" -c "$describe")

candidates=()
IFS=: read -ra path_dirs <<<"$PATH"
for dir in "${path_dirs[@]}"; do
  for python in "$dir"/python3.1[0-9]; do
    [ -x "$python" ] && candidates+=("$python")
  done
done
for python in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/*/bin/python3; do
  [ -x "$python" ] && candidates+=("$python")
done

# pyenv's shims name versions that are not selected and then fail, so each candidate is asked
# what it really is; the first one found for a minor version wins.
declare -A chosen=()
for python in "${candidates[@]}"; do
  info=$("$python" -c "$describe" 2>/dev/null) || continue
  read -r implementation minor version <<<"$info"
  [ "$implementation" = cpython ] || continue
  [ "${minor#3.}" -ge 10 ] 2>/dev/null || continue
  [ "$minor" = "$main_minor" ] && continue
  [ -n "${chosen[$minor]:-}" ] || chosen[$minor]="$python $version"
done

if [ ${#chosen[@]} -eq 0 ]; then
  echo "no CPython 3.10 or newer besides $main_version (the main suite's) was found: nothing more to run"
  exit 0
fi

logs="$root/build/other-interpreters/logs"
mkdir -p "$logs"

# Builds or reuses the venv for one minor version, installs the wheel and runs the tests.
run_under() {
  local python=$1 minor=$2
  local venv="$root/build/other-interpreters/$minor"
  if [ ! -x "$venv/bin/python" ] || ! "$venv/bin/python" -c '' 2>/dev/null; then
    rm -rf "$venv"
    "$python" -m venv "$venv"
  fi
  "$venv/bin/python" -m pip install -q --disable-pip-version-check pytest hypothesis
  "$venv/bin/python" -m pip install -q --disable-pip-version-check --no-deps --force-reinstall "$wheel"
  # From the repository root with the default import mode, the package comes from the venv: no
  # veltrix_compute directory lies at the root.
  "$venv/bin/python" -m pytest -q -p no:cacheprovider python/tests
}

# The interpreters run side by side; each one's output goes to its log.
declare -A pids=()
for minor in "${!chosen[@]}"; do
  read -r python _ <<<"${chosen[$minor]}"
  run_under "$python" "$minor" >"$logs/$minor.log" 2>&1 &
  pids[$minor]=$!
done

failed=()
for minor in $(printf '%s\n' "${!chosen[@]}" | sort -V); do
  read -r python version <<<"${chosen[$minor]}"
  if wait "${pids[$minor]}"; then
    echo "CPython $version ($python): $(tail -n 1 "$logs/$minor.log")"
  else
    echo "CPython $version ($python): FAILED"
    cat "$logs/$minor.log"
    failed+=("$version")
  fi
done
echo "CPython $main_version ($main_python): left to the main suite"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed under CPython ${failed[*]}"
  exit 1
fi
