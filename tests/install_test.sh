#!/usr/bin/env bash
# The kit as a host's developer gets it: this build installed into a
# temporary prefix, then the C example installed with it built against what
# was installed, once through find_package(Tessel) in a CMake project of its
# own and once through pkg-config, and both run against the installed
# simulator by the example's own test.
#
#   tests/install_test.sh BUILD_DIR CMAKE WRITE_CONFIG EXAMPLE_TEST
set -euo pipefail
build="$1"
cmake="$2"
write_config="$3"
example_test="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
prefix="$work/prefix"
# run LOG COMMAND...: runs the command with its output in LOG, shown if it fails.
run() {
  local log="$1"
  shift
  "$@" > "$log" 2>&1 || { cat "$log"; fail "$* failed"; }
}

run "$work/install.log" env -u DESTDIR "$cmake" --install "$build" --prefix "$prefix"
installed="$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort | tr '\n' ' ')"
expected="bin/tessel-host bin/tessel-standin include/tessel.h lib/cmake/Tessel/TesselConfig.cmake \
lib/cmake/Tessel/TesselConfigVersion.cmake lib/libTessel.so lib/pkgconfig/tessel.pc \
share/doc/Tessel/CHANGELOG.md share/doc/Tessel/LICENSE share/doc/Tessel/examples/host.c "
[ "$installed" = "$expected" ] || fail "installed: $installed; expected: $expected"
example="$prefix/share/doc/Tessel/examples/host.c"

# The installed host tool finds the installed plug-in by itself.
run "$work/host-tool.log" "$prefix/bin/tessel-host"
grep -qx 'english name: Stock tessel' "$work/host-tool.log" ||
  { cat "$work/host-tool.log"; fail "the installed tessel-host did not load the plug-in"; }

# Through the CMake package: the plug-in's path compiled in from
# Tessel::plugin, and the simulator the host is tried on named by
# Tessel::standin.
project="$work/cmake-host"
mkdir -p "$project"
cat > "$project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(CMakeHost LANGUAGES C)
find_package(Tessel 1.0 REQUIRED)
find_package(Threads REQUIRED)
add_executable(host "$example")
set_target_properties(host PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_options(host PRIVATE -Wall -Wextra -pedantic -Werror)
target_compile_definitions(host PRIVATE TESSEL_PLUGIN_PATH="\$<TARGET_FILE:Tessel::plugin>")
target_link_libraries(host PRIVATE Tessel::headers \${CMAKE_DL_LIBS} Threads::Threads)
file(GENERATE OUTPUT standin CONTENT "\$<TARGET_FILE:Tessel::standin>")
CMAKE
run "$work/configure.log" "$cmake" -S "$project" -B "$project/build" -DCMAKE_PREFIX_PATH="$prefix"
grep -qx "Tessel_DIR:PATH=$prefix/lib/cmake/Tessel" "$project/build/CMakeCache.txt" ||
  fail "find_package did not take the installed package"
run "$work/build.log" "$cmake" --build "$project/build"

# Through pkg-config: the plug-in's path given on the command line.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
version="$("$prefix/bin/tessel-host" --version)"
[ "tessel-host $(pkg-config --modversion tessel)" = "$version" ] ||
  fail "tessel.pc's version is not the tools' ($version)"
plugin="$(pkg-config --variable=plugin tessel)"
[ -f "$plugin" ] || fail "pkg-config's plugin variable names no file: $plugin"
# The flags unquoted: they are words.
run "$work/cc.log" "${CC:-cc}" -std=c99 -Wall -Wextra -pedantic -Werror \
  $(pkg-config --cflags tessel) "$example" -o "$work/pkg-config-host" -ldl -pthread

run "$work/cmake-host.log" bash "$example_test" "$(cat "$project/build/standin")" \
  "$write_config" "$project/build/host"
run "$work/pkg-config-host.log" bash "$example_test" "$prefix/bin/tessel-standin" "$write_config" \
  "$work/pkg-config-host" "$plugin"
grep -q "^loaded $prefix/lib/libTessel.so: " "$work/cmake-host.log" ||
  fail "the CMake-built host did not load the installed plug-in by default"
echo "PASS"
