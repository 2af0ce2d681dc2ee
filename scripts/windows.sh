#!/usr/bin/env bash
# Builds the Windows x64 plug-in, build-windows/Tessel.dll, with Debian's
# mingw-w64 and runs its tests under wine64 against the stand-in (built
# natively) on loopback. Ends with an "N passed, M failed" line and exits
# non-zero when anything failed.
#
# OpenSSL, jsoncpp, TinyXML and GoogleTest are cross-built once from Debian's
# sources into $TESSEL_WINDOWS_CACHE (default /var/cache/tessel-windows),
# one folder per package and version, so later runs only build Tessel.
#
#   scripts/windows.sh [--deps-only]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cache="${TESSEL_WINDOWS_CACHE:-/var/cache/tessel-windows}"
build="$here/build-windows"
native="$here/build"
toolchain="$here/cmake/mingw-w64-x86_64.cmake"
host_prefix=x86_64-w64-mingw32
jobs="$(nproc)"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

say() { echo "== windows: $*"; }

# --- Packages -----------------------------------------------------------------

install_packages() {
  local packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
                  libconcurrentqueue-dev googletest dpkg-dev cmake make perl xz-utils)
  local missing=()
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing ${missing[*]}"
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Source entries for the mirrors the machine already uses, so that
# `apt-get source` can reach them. Added once.
enable_sources() {
  case "$(apt-cache showsrc --only-source openssl 2>/dev/null)" in *Version:*) return 0 ;; esac
  local list=/etc/apt/sources.list.d/tessel-deb-src
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list | $sudo tee "$list.list" >/dev/null
  fi
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -e "$file" ] || continue
    case "$file" in */tessel-deb-src.sources) continue ;; esac
    # deb822 stanzas: the same entries with source types.
    sed 's/^Types:.*/Types: deb-src/' "$file"
    echo
  done | $sudo tee "$list.sources" >/dev/null
  say "added source entries ($list.*)"
  $sudo apt-get update -qq
}

# The newest source version Debian offers for a package.
source_version() {
  local best="" version
  for version in $(apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p'); do
    if [ -z "$best" ] || dpkg --compare-versions "$version" gt "$best"; then best="$version"; fi
  done
  [ -n "$best" ] || { echo "no source package for $1" >&2; return 1; }
  echo "$best"
}

# Fetches and unpacks a source package into $2 (a fresh folder). Where the
# newest version is only partly on the mirror, its upstream tarball is used.
fetch_source() {
  local package="$1" version="$2" dest="$3"
  local work; work="$(mktemp -d)"
  (cd "$work" && apt-get source -qq "$package=$version" >/dev/null 2>&1) || true
  local tree
  tree="$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
  if [ -z "$tree" ]; then
    local upstream="${version#*:}"; upstream="${upstream%-*}"
    (cd "$work" && apt-get source -qq --download-only "$package=$version" >/dev/null 2>&1) || true
    local tarball
    tarball="$(ls "$work"/"${package}"_"${upstream}".orig.tar.* 2>/dev/null | head -n 1)"
    [ -n "$tarball" ] || { echo "cannot fetch the source of $package $version" >&2; return 1; }
    mkdir "$work/tree" && tar -xf "$tarball" -C "$work/tree" --strip-components=1
    tree="$work/tree"
  fi
  mv "$tree" "$dest"
  rm -rf "$work"
}

# --- Dependencies, cross-built once per version --------------------------------

# Sets $prefix to the package's cache folder and returns 0 when it is built.
cached() {
  prefix="$cache/$1-$2"
  [ -f "$prefix/.built" ]
}

build_openssl() {
  local version; version="$(source_version openssl)"
  if cached openssl "$version"; then openssl_prefix="$prefix"; return; fi
  say "building OpenSSL $version"
  local src="$cache/src/openssl-$version"
  rm -rf "$src" "$prefix"; mkdir -p "$cache/src"
  fetch_source openssl "$version" "$src"
  (cd "$src" &&
   ./Configure mingw64 no-shared no-tests --cross-compile-prefix="$host_prefix-" \
     --prefix="$prefix" --libdir=lib >/dev/null &&
   nice make -s -j "$jobs" build_libs >"$cache/openssl-build.log" 2>&1 &&
   mkdir -p "$prefix/lib" "$prefix/include" &&
   cp libssl.a libcrypto.a "$prefix/lib/" &&
   cp -r include/openssl "$prefix/include/")
  rm -rf "$src"
  touch "$prefix/.built"
  openssl_prefix="$prefix"
}

build_jsoncpp() {
  local version; version="$(source_version libjsoncpp)"
  if cached jsoncpp "$version"; then jsoncpp_prefix="$prefix"; return; fi
  say "building jsoncpp $version"
  local src="$cache/src/jsoncpp-$version"
  rm -rf "$src" "$prefix"; mkdir -p "$cache/src"
  fetch_source libjsoncpp "$version" "$src"
  cmake -S "$src" -B "$src/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON >/dev/null
  nice cmake --build "$src/build" -j "$jobs" >/dev/null
  cmake --install "$src/build" >/dev/null
  rm -rf "$src"
  touch "$prefix/.built"
  jsoncpp_prefix="$prefix"
}

build_tinyxml() {
  local version; version="$(source_version tinyxml)"
  if cached tinyxml "$version"; then tinyxml_prefix="$prefix"; return; fi
  say "building TinyXML $version"
  local src="$cache/src/tinyxml-$version"
  rm -rf "$src" "$prefix"; mkdir -p "$cache/src"
  fetch_source tinyxml "$version" "$src"
  mkdir -p "$prefix/lib" "$prefix/include"
  (cd "$src" &&
   for file in tinyxml tinystr tinyxmlerror tinyxmlparser; do
     "$host_prefix-g++-posix" -O2 -DTIXML_USE_STL -c "$file.cpp" -o "$file.o"
   done &&
   "$host_prefix-ar" rcs "$prefix/lib/libtinyxml.a" tinyxml.o tinystr.o tinyxmlerror.o \
     tinyxmlparser.o &&
   cp tinyxml.h tinystr.h "$prefix/include/")
  rm -rf "$src"
  touch "$prefix/.built"
  tinyxml_prefix="$prefix"
}

build_googletest() {
  local version
  version="$(dpkg-query -W -f='${Version}' googletest)"
  if cached googletest "$version"; then googletest_prefix="$prefix"; return; fi
  say "building GoogleTest $version"
  rm -rf "$prefix"
  local work; work="$(mktemp -d)"
  cmake -S /usr/src/googletest -B "$work" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF \
    -DBUILD_SHARED_LIBS=OFF >/dev/null
  nice cmake --build "$work" -j "$jobs" >/dev/null
  cmake --install "$work" >/dev/null
  rm -rf "$work"
  touch "$prefix/.built"
  googletest_prefix="$prefix"
}

# The queue is header-only; its headers are copied so the cross build never
# searches the Linux include folders.
copy_concurrentqueue() {
  local version
  version="$(dpkg-query -W -f='${Version}' libconcurrentqueue-dev)"
  if cached concurrentqueue "$version"; then concurrentqueue_prefix="$prefix"; return; fi
  rm -rf "$prefix"; mkdir -p "$prefix/include"
  cp -r /usr/include/concurrentqueue "$prefix/include/"
  touch "$prefix/.built"
  concurrentqueue_prefix="$prefix"
}

started=$(date +%s)
install_packages
enable_sources
$sudo mkdir -p "$cache"
build_openssl
build_jsoncpp
build_tinyxml
build_googletest
copy_concurrentqueue
say "dependencies ready in $(( $(date +%s) - started )) s"
[ "${1:-}" = "--deps-only" ] && exit 0

# --- Tessel ----------------------------------------------------------------------

prefixes="$openssl_prefix;$jsoncpp_prefix;$tinyxml_prefix;$googletest_prefix;$concurrentqueue_prefix"
started=$(date +%s)
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_FIND_ROOT_PATH="$prefixes" \
  -DOPENSSL_ROOT_DIR="$openssl_prefix" -DTESSEL_BUILD_TESTS=ON >/dev/null
nice cmake --build "$build" -j "$jobs"
say "Tessel.dll and tests built in $(( $(date +%s) - started )) s"

# --- Tests under Wine -------------------------------------------------------------

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }

objdump="$host_prefix-objdump"
# The DLL exports exactly one undecorated name and imports only Windows' own
# DLLs: nothing of ours or of the toolchain has to travel with it.
system_dlls="ADVAPI32.dll CRYPT32.dll IPHLPAPI.DLL KERNEL32.dll msvcrt.dll USER32.dll WS2_32.dll"
check_imports() {  # check_imports NAME FILE
  local dll bad=""
  for dll in $("$objdump" -p "$2" | sed -n 's/^\s*DLL Name: //p'); do
    case " $system_dlls " in *" $dll "*) ;; *) bad="$bad $dll" ;; esac
  done
  if [ -z "$bad" ]; then pass "$1 imports only Windows system DLLs"; else fail "$1 imports$bad"; fi
}
exports="$("$objdump" -p "$build/Tessel.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
  | sed -n 's/^\s*\[ *[0-9]*\] //p')"
if [ "$exports" = "QueryZephCommInterface" ]; then
  pass "Tessel.dll exports only QueryZephCommInterface"
else
  fail "Tessel.dll exports: $(echo $exports)"
fi
check_imports Tessel.dll "$build/Tessel.dll"
check_imports tessel-host.exe "$build/tessel-host.exe"

export WINEPREFIX="${TESSEL_WINEPREFIX:-$cache/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, no menu entries: the prefix is headless.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
unset DISPLAY

work="$(mktemp -d)"
standin_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -n "$standin_pid" ] && wait "$standin_pid" 2>/dev/null || true
  WINEPREFIX="$WINEPREFIX" "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# run_gtest NAME EXE [ARGS...]: runs a GoogleTest program under Wine and
# counts its tests.
run_gtest() {
  local name="$1" exe="$2" log="$work/$1.log" rc=0
  shift 2
  say "running $name"
  (cd "$(dirname "$exe")" && timeout 600 "$wine" "$exe" --gtest_color=no "$@") >"$log" 2>&1 \
    || rc=$?
  local ok bad
  tr -d '\r' < "$log" > "$log.unix" && mv "$log.unix" "$log"  # Wine's console writes CR LF
  ok=$(grep -c '^\[       OK \]' "$log" || true)
  bad=$(grep -cE '^\[  FAILED  \] .*\([0-9]+ ms\)$' "$log" || true)
  passed=$((passed + ok)); failed=$((failed + bad))
  echo "$name: $ok passed, $bad failed (exit $rc)"
  if [ "$bad" -gt 0 ] || [ "$rc" -ne 0 ]; then
    grep -A8 -E ': Failure$' "$log" | head -150 || true
    grep -E '^\[  FAILED  \]' "$log" || true
    if [ "$bad" -eq 0 ]; then fail "$name exited with $rc"; tail -30 "$log"; fi
  fi
}

started=$(date +%s)
"$wine" wineboot -i >/dev/null 2>&1 || true
say "Wine prefix ready in $(( $(date +%s) - started )) s ($WINEPREFIX)"

run_gtest unit "$build/tests/tessel_unit_tests.exe"

# The stand-in, native, on loopback; it runs until its standard input (the
# fifo held on fd 3) closes.
"$here/scripts/install-deps.sh"
TARGETS="tessel-standin" nice "$here/scripts/build.sh" "$native" >/dev/null
hostdir="$build/tests/host"
mkfifo "$work/standin-input"
"$native/tools/standin/tessel-standin" --write-cert "$hostdir/ca.pem" --password secret \
  --control-port 0 --trace "$work/standin-trace" < "$work/standin-input" > "$work/standin-ports" 2>"$work/standin.log" &
standin_pid=$!
exec 3> "$work/standin-input"
for _ in $(seq 100); do
  grep -q '^standin ' "$work/standin-ports" 2>/dev/null && break
  sleep 0.1
done
main="" push="" control=""
read -r _ main push control < "$work/standin-ports" || true
# The host test sends control commands and reads the trace (as a path on
# Wine's Z: drive).
export TESSEL_STANDIN_MAIN="${main#main=}" TESSEL_STANDIN_PUSH="${push#push=}" \
  TESSEL_STANDIN_CONTROL="${control#control=}" TESSEL_STANDIN_TRACE="$work/standin-trace"
if [ -n "$TESSEL_STANDIN_MAIN" ] && [ -n "$TESSEL_STANDIN_PUSH" ] && [ -n "$TESSEL_STANDIN_CONTROL" ]; then
  say "stand-in listening: main $TESSEL_STANDIN_MAIN, push $TESSEL_STANDIN_PUSH, control $TESSEL_STANDIN_CONTROL"
  run_gtest host "$hostdir/tessel_windows_host_test.exe"
  # Again from a folder whose name is not ASCII (but is in Wine's ANSI code
  # page, which the log's folder must be): the configuration is read by its
  # UTF-8 path, the log is written by its ANSI one.
  other="$work/hôte"
  mkdir -p "$other"
  cp "$hostdir/tessel_windows_host_test.exe" "$hostdir/Tessel.dll" "$hostdir/ca.pem" "$other/"
  run_gtest host-in-hôte "$other/tessel_windows_host_test.exe" --gtest_filter=-*TimesOut
else
  fail "stand-in did not start"; cat "$work/standin.log"
  echo "windows: $passed passed, $failed failed"
  exit 1
fi

# The host tool through the demo session, with its files beside it and
# Tessel.dll.
mkdir -p "$build/config"
cp "$hostdir/ca.pem" "$build/ca.pem"
cat > "$build/config/system.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Tessel>
  <TesselServer>
    <Server name="stand-in" address="127.0.0.1" port="$TESSEL_STANDIN_MAIN" pushaddress="127.0.0.1" pushport="$TESSEL_STANDIN_PUSH" real="1"/>
  </TesselServer>
</Tessel>
XML
say "running tessel-host.exe"
# A Unix path is a path on Wine's Z: drive, the current one.
if (cd "$build" && timeout 300 "$wine" tessel-host.exe \
      --requests "$here/tools/host/demo-session.jsonl") >"$work/host-tool.log" 2>&1; then
  pass "tessel-host.exe demo session"
else
  fail "tessel-host.exe demo session"; tail -30 "$work/host-tool.log"
fi
# The GBK description, converted to UTF-8 for the console.
if grep -q '^description:  提供一套依据实盘行情撮合的交易服务' "$work/host-tool.log"; then
  pass "tessel-host.exe prints the GBK description as UTF-8"
else
  fail "tessel-host.exe description"; grep '^description' "$work/host-tool.log" || true
fi
grep -E '^== session' "$work/host-tool.log" || true

# Refusals are told at once with the library's reason, which the host tool
# reads from the log beside it.
cat > "$work/refusals.jsonl" <<'JSONL'
{"func":"Login","user_name":"demo","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0}
{"func":"QryMoney","user_name":"demo"
{"func":"QryMoney","user_name":"demo","client_id":"demo"}
{"func":"Logout"}
JSONL
say "running tessel-host.exe with refused requests"
(cd "$build" && timeout 300 "$wine" tessel-host.exe --requests "$work/refusals.jsonl") \
  >"$work/host-refusals.log" 2>&1 || true
tr -d '\r' < "$work/host-refusals.log" > "$work/host-refusals.unix"
if grep -q '^!! refused #2: not JSON (' "$work/host-refusals.unix" &&
   grep -qx '!! refused #3: key "fund_account" is missing' "$work/host-refusals.unix" &&
   grep -qx '== session: 4 requests, 2 refused, 0 unanswered' "$work/host-refusals.unix" &&
   ! grep -qE '^\.\. waiting #[234]:' "$work/host-refusals.unix"; then
  pass "tessel-host.exe tells refusals with the library's reason"
else
  fail "tessel-host.exe refusals"; tail -30 "$work/host-refusals.unix"
fi

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
