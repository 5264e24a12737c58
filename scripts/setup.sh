#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: packages already
# present are left alone, and nothing is fetched when all of them are installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libwebsockets-dev libjansson-dev libmbedtls-dev zlib1g-dev
  libpugixml-dev libreadline-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
