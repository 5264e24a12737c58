#!/usr/bin/env bash
# Installs every Debian package the project needs and generates the de_DE.UTF-8 locale the
# tests use; with --windows also the MinGW-w64 cross toolchain, Windows zlib and Wine for the
# Windows build and its test run. Safe to run again: packages already present are left alone,
# nothing is fetched when all of them are installed, and the locale is made only once.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libwebsockets-dev libjansson-dev libmbedtls-dev zlib1g-dev
  libpugixml-dev libreadline-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  locales
)
if [ "${1:-}" = --windows ]; then
  PACKAGES+=(
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev mingw-w64-tools libz-mingw-w64-dev
    wine64 wine dpkg-dev
  )
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal point is ",", for the tests that numbers in events and requests
# keep ".". Generated once; later runs find it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  if ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
