#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need, only those that
# are missing. Runs as root (or through sudo when it is there); never asks anything.
#
# The Windows builds need the mingw-w64 cross compilers and Wine: 64-bit Wine for the
# x86_64 programs and Debian's 32-bit Wine (the i386 architecture) for the i686 ones;
# fonts-wine draws the title bars' buttons in the Windows screenshots. The installer is
# packed by NSIS, with the manuals laid out as text by man and col (bsdextrautils).
# KORVAX_WINDOWS=0 leaves those out (a quick setup at a desk); CI never sets it.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-tools-dev qt6-l10n-tools
  scdoc man-db desktop-file-utils appstream
  dpkg-dev file lintian
  xvfb xauth fonts-dejavu-core fonts-liberation2
  xdotool imagemagick openbox
  acl attr
)
windows=${KORVAX_WINDOWS:-1}
if [ "$windows" != 0 ]; then
  packages+=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
    wine64 wine nsis bsdextrautils
    wine32:i386
    fonts-wine
  )
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Missing packages (${missing[*]}) and not root: install them as root." >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine lives in the i386 architecture, which a fresh amd64 machine does not list.
for package in "${missing[@]}"; do
  if [[ $package == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    break
  fi
done
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
