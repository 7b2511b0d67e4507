#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the fuzz targets
# for a bounded time, and the AddressSanitizer + UndefinedBehaviorSanitizer build.
#   PYROLITH_QUICK=1      only the normal build's tests (for quick rounds while developing)
#   PYROLITH_WINDOWS=0    skip the Windows build and its tests under Wine (default: run them)
#   PYROLITH_FUZZ_SECONDS seconds per fuzz target (default 60 on CI, 10 otherwise)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
windows=${PYROLITH_WINDOWS:-1}
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES
if [ "$windows" = "1" ]; then
  ensure_packages $WINDOWS_PACKAGES
fi
ensure_german_locale

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPYROLITH_WERROR=$werror >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The Windows build of the core and the command line, its tests under Wine, and the same job
# from both command lines.
if [ "$windows" = "1" ]; then
  scripts/test-windows.sh "$jobs"
fi

[ "${PYROLITH_QUICK:-0}" = "1" ] && exit 0

fuzz_seconds=${PYROLITH_FUZZ_SECONDS:-$([ "${CI:-}" = "true" ] && echo 60 || echo 10)}
scripts/fuzz.sh "$fuzz_seconds"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPYROLITH_SANITIZE=ON \
  -DPYROLITH_BUILD_BENCH=OFF -DPYROLITH_WERROR=$werror >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
