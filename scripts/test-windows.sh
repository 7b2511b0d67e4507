#!/usr/bin/env bash
# Cross-compiles the core, pyrolith-cli and their tests for Windows with mingw-w64, runs the
# tests under Wine, and checks that the Windows command line writes the same bytes as the
# Linux one (build/bin/pyrolith-cli) for the example profiles and picture.
#   scripts/test-windows.sh [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-$(nproc)}
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

# -O2 as on Linux: GCC 12 at -O3 warns wrongly about the standard library's string and vector
# code inlined into the tests.
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DPYROLITH_WERROR=$werror >/dev/null
cmake --build build-windows -j"$jobs" --target pyrolith-cli test_common test_gcode test_image \
  test_settings test_toolpath test_cli test_material
wine_run() { scripts/wine-run.sh build-windows/wine "$@"; }
wine_run build-windows/bin/pyrolith-cli.exe --version  # makes the Wine prefix once
ctest --test-dir build-windows --output-on-failure -j"$jobs"

# The same job from both builds, byte for byte.
out=build-windows/same-job
rm -rf "$out"
mkdir -p "$out"
for profile in examples/*.prf; do
  name=$(basename "$profile" .prf)
  SOURCE_DATE_EPOCH=1765000000 LC_ALL=C build/bin/pyrolith-cli --profile "$profile" \
    examples/sample.bmp "$out/$name-linux.gcode" >/dev/null
  SOURCE_DATE_EPOCH=1765000000 wine_run build-windows/bin/pyrolith-cli.exe --profile "$profile" \
    examples/sample.bmp "$out/$name-windows.gcode" >/dev/null
  if ! cmp "$out/$name-linux.gcode" "$out/$name-windows.gcode"; then
    echo "The Windows job for $profile differs from the Linux job" >&2
    exit 1
  fi
done
echo "Windows jobs are byte-identical to the Linux jobs."
