#!/usr/bin/env bash
# Installs what the build needs (only what is missing), checks that includes follow the
# layers, builds everything and runs every test: each layer's tests, GUI (offscreen) and
# end-to-end tests with -Werror (the installed tree among them); the Debian package, built,
# read by lintian, installed and used; the engine tests again
# under AddressSanitizer + UndefinedBehaviorSanitizer; the threaded tests under
# ThreadSanitizer; the fuzzers for a bounded time; the Windows builds (x86_64 and i686,
# cross-built with mingw-w64) and their tests under Wine.
#
# KORVAX_FUZZ_SECONDS sets how long each fuzzer runs (default 60; 0 skips fuzzing).
# KORVAX_WINDOWS=0 skips the Windows builds (a quick run at a desk; CI never sets it).
# With CI=true, as root, the package is installed into this machine itself (CI runs on a
# throwaway one); otherwise into a scratch root, and the machine stays as it is.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
fuzz_seconds=${KORVAX_FUZZ_SECONDS:-60}

step() { printf '\n==> %s\n' "$*"; }

step "Dependencies"
scripts/install-deps.sh

step "Includes and links follow the layers"
python3 scripts/check_layers.py

step "Build and test (warnings are errors)"
cmake --preset ci
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"

if [ "${KORVAX_WINDOWS:-1}" != 0 ]; then
  # Each build runs its tests under a Wine prefix of its own, made afresh, with one Wine
  # server for the whole run; each Windows suite must run every test its Linux twin runs
  # (but those whose sources the Windows build leaves out).
  for build in windows-x64:x86_64 windows-x86:i686; do
    preset=${build%%:*}
    arch=${build#*:}
    step "Windows builds under Wine: $preset"
    started=$SECONDS
    cmake --preset "$preset"
    # The prefix first: the build runs kvdtool.exe under Wine to assemble the default
    # database, and a prefix made then would be made again here.
    scripts/wine-run.sh --prepare "$arch" "build/$preset"
    prepared=$SECONDS
    cmake --build --preset "$preset" -j "$jobs"
    built=$SECONDS
    status=0
    ctest --preset "$preset" -j "$jobs" --no-tests=error -LE installer || status=$?
    python3 scripts/compare_windows_tests.py build/ci "build/$preset" || status=$?
    scripts/wine-run.sh --stop "$arch" "build/$preset"
    tested=$SECONDS
    # The installer, built by name (a machine without makensis fails here), then installed,
    # used and removed in a Wine prefix of its own.
    cmake --build --preset "$preset" --target installer
    ls -l build/"$preset"/korvax-setup-*.exe
    ctest --preset "$preset" --no-tests=error -L installer || status=$?
    echo "$preset: Wine prefix in $((prepared - started)) s, built in $((built - prepared)) s, tested in $((tested - built)) s, installer in $((SECONDS - tested)) s"
    [ "$status" -eq 0 ] || exit "$status"
  done
fi

step "Debian package: built, read by lintian, installed, used as installed"
KORVAX_JOBS=$jobs scripts/build-package.sh
deb=$(ls build/package/deb/korvax_*.deb)
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
# Errors and warnings fail the build; the informational tags are listed.
lintian --fail-on error,warning --display-info "$deb"
virtual_display=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp")
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
  "${virtual_display[@]}" tests/install/check_installed.sh / /usr
else
  # apt shows that the dependencies resolve here; dpkg installs into a root of its own.
  apt-get install --simulate "./$deb" >/dev/null
  scratch=$PWD/build/package/root
  rm -rf "$scratch"
  mkdir -p "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates"
  touch "$scratch/var/lib/dpkg/status"
  # The scratch root has no other package, so every dependency is "missing" there.
  dpkg --root="$scratch" --force-not-root --force-depends --log=/dev/null -i "$deb" >"$scratch.log" 2>&1 ||
    { cat "$scratch.log"; exit 1; }
  "${virtual_display[@]}" tests/install/check_installed.sh "$scratch" /usr
fi

step "Engine tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

step "Threaded tests under ThreadSanitizer"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs" --target platform_tests worker_tests check_tests cpudll
ctest --preset tsan -L threaded

if [ "$fuzz_seconds" -gt 0 ]; then
  step "Fuzzing, ${fuzz_seconds}s per target"
  cmake --preset fuzz
  cmake --build --preset fuzz -j "$jobs"
  python3 data/make_demo_samples.py build/fuzz/samples >/dev/null
  python3 tests/fuzz/make_seeds.py build/fuzz/bin/virbase.kvd build/fuzz/samples/infected build/fuzz/corpus \
    data/virbase.kvsrc docs/signatures.md tests/*/*.cpp
  for target in read_records_fuzz scan_with_cures_fuzz assemble_source_fuzz disassemble_roundtrip_fuzz \
                fast_pass_differential_fuzz search_sweep_fuzz; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    # Inputs that once failed stay in the corpus, so every run replays them first.
    for input in tests/fuzz/regressions/"${target%_fuzz}"_*; do [ -e "$input" ] && cp "$input" "$corpus"/; done
    dict=()
    [ "$target" = assemble_source_fuzz ] && dict=(-dict=tests/fuzz/signature_source.dict)
    build/fuzz/bin/$target -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 "${dict[@]}" "$corpus" 2>&1 | tail -n 12
  done
fi

step "All tests passed"
