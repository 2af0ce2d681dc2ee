#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test; then builds again with
# the address/undefined and the thread sanitizers and runs the tests under
# each (all but the one test that waits the real 30-second time-out); then
# cross-builds Tessel.dll and runs the Windows tests under Wine.
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

"$here/scripts/build.sh" "$here/build" -DTESSEL_BUILD_TESTS=ON
run_tests "$here/build"
[ "${1:-}" = "--quick" ] && exit 0

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$here/scripts/build.sh" "$here/build-asan" -DTESSEL_SANITIZE=ON
run_tests "$here/build-asan" -E RealTime

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
"$here/scripts/build.sh" "$here/build-tsan" -DTESSEL_SANITIZE_THREAD=ON
run_tests "$here/build-tsan" -E RealTime

"$here/scripts/windows.sh"
