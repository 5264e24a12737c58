#!/usr/bin/env bash
# Installs the Debian packages the Windows cross-build and its test run under Wine need:
# the MinGW-w64 toolchain (its -posix compilers, which have std::thread), Windows zlib,
# and Wine to run the tests. Safe to run again: nothing is fetched when all are present.
set -euo pipefail

PACKAGES=(
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev mingw-w64-tools libz-mingw-w64-dev
  wine64 wine
  dpkg-dev cmake ninja-build clang
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-windows: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup-windows: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
