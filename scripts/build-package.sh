#!/usr/bin/env bash
# Builds the Debian package: build/package/deb/korvax_VERSION_ARCH.deb.
#
# The programs are built afresh (the package preset: installed under /usr, no tests) with
# the flags Debian builds its own packages with (dpkg-buildflags, all hardening on:
# fortified functions, stack protection, read-only relocations bound at start). CPack then
# installs them into a staging tree, strips and packs them, and computes the dependencies
# with dpkg-shlibdeps.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${KORVAX_JOBS:-$(nproc)}

scripts/install-deps.sh

# CMake reads the flags from the environment only when it first configures a build tree.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
rm -rf build/package
cmake --preset package >/dev/null
cmake --build --preset package -j "$jobs"
cpack --config build/package/CPackConfig.cmake -B build/package/deb >/dev/null
ls build/package/deb/korvax_*.deb
