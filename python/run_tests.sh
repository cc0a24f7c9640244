#!/usr/bin/env bash
# Builds the quarnel3 Python package, installs it into a venv and runs its
# tests against kexsim. Debian's Python is externally managed, so the venv
# (made with --system-site-packages, for Debian's setuptools and wheel) lies
# in the CMake build directory, and pip installs without build isolation and
# without any package index.
#
#   QUARNEL3_BUILD_DIR  a CMake build directory to reuse (e.g. build): only the
#                       extension is built there. Default: build-python.
#   QUARNEL3_PYTHON     the interpreter (default /usr/bin/python3, Debian's).
# Exits non-zero, saying which step failed, on any failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
python=${QUARNEL3_PYTHON:-/usr/bin/python3}
QUARNEL3_BUILD_DIR=$(realpath -m "${QUARNEL3_BUILD_DIR:-$repo/build-python}")
export QUARNEL3_BUILD_DIR
export QUARNEL3_CMAKE_ARGS="-DQUARNEL3_WERROR=ON ${QUARNEL3_CMAKE_ARGS:-}"
venv=$QUARNEL3_BUILD_DIR/python-venv
log=$QUARNEL3_BUILD_DIR/python-install.log
mkdir -p "$QUARNEL3_BUILD_DIR"

fail() {
  echo "python: FAILED: $1" >&2
  exit 1
}

echo "== python: venv $venv =="
if [ ! -x "$venv/bin/python" ]; then
  "$python" -m venv --system-site-packages "$venv" || fail "the venv could not be made with $python"
fi

echo "== python: build and install quarnel3 (log: $log) =="
if ! "$venv/bin/python" -m pip install --no-build-isolation --no-index --no-deps --force-reinstall \
    --disable-pip-version-check -v "$here" >"$log" 2>&1; then
  # The compiler's and CMake's complaints first, then how pip ended.
  grep -E "(error|FAILED|CMake Error)" "$log" | head -n 40 >&2 || true
  tail -n 15 "$log" >&2
  fail "pip install of $here (the whole log is in $log)"
fi

echo "== python: tests =="
# From the build directory, so that the installed package is imported, not the sources.
cd "$QUARNEL3_BUILD_DIR"
"$venv/bin/python" -m unittest discover -s "$here/tests" -t "$here/tests" -v ||
  fail "python tests (the failing ones are listed above)"
echo "python: all tests passed"
