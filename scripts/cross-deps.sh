#!/usr/bin/env bash
# Fills the cross prefix of a Windows build with what Debian has no mingw build of:
# GoogleTest, cross-built from Debian's own sources (/usr/src/googletest), and the
# header-only CLI11 and nlohmann-json, copied with their CMake package files (the Windows
# toolchains keep the host's /usr/include out of the search). A prefix that is already
# complete is left as it is, so the build does this once.
#
#   scripts/cross-deps.sh TOOLCHAIN_FILE PREFIX
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 TOOLCHAIN_FILE PREFIX" >&2; exit 2; }
toolchain=$1
prefix=$2
done_mark=$prefix/.korvax-cross-deps
[ -f "$done_mark" ] && exit 0

rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/share/cmake"
work=$prefix.build
rm -rf "$work"
cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work" >/dev/null
cmake --install "$work" >/dev/null
rm -rf "$work"

cp -r /usr/include/CLI /usr/include/nlohmann "$prefix/include/"
cp -r /usr/share/cmake/CLI11 /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
touch "$done_mark"
