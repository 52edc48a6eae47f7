#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build and the tests need on a fresh
# Debian 12 machine. Idempotent and silent when every package is present.
#
# Survives a lagging mirror: an index that fails to download is reported but not fatal, and
# when the plain install cannot be resolved (typically the i386 security index is missing, so
# the i386 halves of Multi-Arch: same libraries cannot match the newer amd64 ones) it retries
# with the release's own versions (-t bookworm) for both architectures.
set -uo pipefail

packages=(
  cmake ninja-build make g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine64 wine32:i386 qemu-user-static
  # Wine's own fonts: "MS Sans Serif" with the metrics of Windows' (without them Wine takes a
  # wider font, and dialogs are laid out larger than on Windows).
  fonts-wine
  xvfb x11-utils imagemagick zip unzip
  # Every ZIP writer Debian offers, for the tests that check archives made by real writers.
  p7zip-full fastjar advancecomp libarchive-tools
  zlib1g-dev libdeflate-dev googletest python3
  # The decoder built as the installer runs it (32-bit, for the 80386) and the 32-bit zlib and
  # libdeflate it is timed against (make bench).
  gcc-multilib g++-multilib zlib1g-dev:i386 libdeflate-dev:i386
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
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386 || {
  echo "bootstrap: cannot add the i386 architecture (dpkg --add-architecture i386 failed)" >&2
  exit 1
}
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# apt-get update exits 0 even when some indexes failed; either way, say which ones and go on.
$SUDO apt-get update -qq >"$log" 2>&1
grep -E '^(E|W): Failed to fetch' "$log" | sed -E 's/^(E|W): Failed to fetch ([^ ]*).*/bootstrap: index not downloaded (going on without it): \2/' >&2

install() { $SUDO apt-get install -y -qq --no-install-recommends "$@" "${packages[@]}" >"$log" 2>&1; }
install && exit 0
echo "bootstrap: the plain install did not resolve; retrying with the release's own versions (-t bookworm)" >&2
install -t bookworm && exit 0

# One clear line: the first package apt names with its reason.
reason=$(grep -m1 -E '^ [^ ]+ : (Depends|PreDepends|Conflicts|Breaks)' "$log" \
  || grep -m1 -E "^E: (Unable to locate package|Package '.*' has no installation candidate|Version)" "$log" \
  || grep -m1 '^E:' "$log")
echo "bootstrap: cannot install the packages: $(echo "${reason:-apt-get install failed}" | sed 's/^ *//')" >&2
exit 1
