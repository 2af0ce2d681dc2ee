#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs the host tool
# against the built plug-in.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$here/build"
"$here/build/tools/tessel-host" "$here/build/libTessel.so"
