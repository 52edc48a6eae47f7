#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build and the tests need on a fresh
# Debian 12 machine. Idempotent: it does nothing when every package is present.
set -euo pipefail

packages=(
  cmake ninja-build make g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine64 wine32:i386 qemu-user-static
  xvfb x11-utils imagemagick zip unzip
  zlib1g-dev libdeflate-dev googletest python3
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  missing=(arch)
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}" >&2
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
