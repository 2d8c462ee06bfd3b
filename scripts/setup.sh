#!/usr/bin/env bash
# Installs Debian packages when they are missing:
#
#   bash scripts/setup.sh [PACKAGE...]
#
# Without arguments, everything the build, the tests and the fuzz targets
# need; the example script names only what building the programs needs.
set -euo pipefail
packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(cmake ninja-build g++ libgtest-dev libgmock-dev srecord clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
