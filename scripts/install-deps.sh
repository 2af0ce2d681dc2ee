#!/usr/bin/env bash
# Installs the Debian packages the build needs. Safe to run again: nothing is
# fetched when everything is already there.
set -euo pipefail

packages=(cmake g++ make pkg-config libssl-dev libjsoncpp-dev libtinyxml-dev
          libconcurrentqueue-dev libgtest-dev
          # clang and its runtime libraries (libFuzzer) for the fuzz targets
          clang libclang-rt-14-dev
          # the Python package: its tests, and an offline install by Debian's pip
          python3-pytest python3-pip python3-setuptools python3-wheel
          # a certificate for the tests' own silent TLS server
          openssl)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
