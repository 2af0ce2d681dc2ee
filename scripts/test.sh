#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (the Python package's
# too, with an offline install of it); then runs each fuzz
# target for a few seconds (so they keep building and their checks hold);
# then builds again with the address/undefined and the thread sanitizers and
# runs the tests under each (all but the one test that waits the real
# 30-second time-out); then cross-builds Tessel.dll and runs the Windows
# tests under Wine.
#
#   scripts/test.sh            everything
#   scripts/test.sh --quick    the plain Linux build only
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"

run_tests() {  # run_tests BUILD_DIR [ctest options...]
  local dir="$1"; shift
  (cd "$dir" && ctest --output-on-failure -j "$(nproc)" "$@")
}

# The Python package against the plain build's library and simulator, and
# an offline install of it by Debian's pip.
run_python_tests() {
  local python=/usr/bin/python3 scratch
  PYTHONDONTWRITEBYTECODE=1 TESSEL_LIBRARY="$here/build/libTessel.so" \
    TESSEL_STANDIN="$here/build/tools/standin/tessel-standin" \
    "$python" -m pytest -q -p no:cacheprovider "$here/python/tests"
  scratch="$(mktemp -d)"
  # A copy, so the build leaves nothing in the tree.
  cp -r "$here/python" "$scratch/source"
  "$python" -m pip install -q --no-build-isolation --no-index --disable-pip-version-check \
    --root-user-action=ignore --target "$scratch/site" "$scratch/source"
  (cd "$scratch" && PYTHONPATH="$scratch/site" "$python" -c \
    'import tessel, sys; sys.exit(not (tessel.__file__.startswith(sys.argv[1]) and tessel.Client))' \
    "$scratch/site")
  rm -rf "$scratch"
  echo "python package: installed offline"
}

"$here/scripts/build.sh" "$here/build" -DTESSEL_BUILD_TESTS=ON
run_tests "$here/build"
run_python_tests
[ "${1:-}" = "--quick" ] && exit 0

"$here/scripts/fuzz.sh" 5

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$here/scripts/build.sh" "$here/build-asan" -DTESSEL_SANITIZE=ON
run_tests "$here/build-asan" -E RealTime

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
"$here/scripts/build.sh" "$here/build-tsan" -DTESSEL_SANITIZE_THREAD=ON
run_tests "$here/build-tsan" -E RealTime

"$here/scripts/windows.sh"
