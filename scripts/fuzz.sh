#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time from its seed
# corpus (fuzz/corpus/<target>/). Usage: scripts/fuzz.sh SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPYROLITH_FUZZ=ON \
  -DPYROLITH_BUILD_GUI=OFF -DPYROLITH_BUILD_TESTS=OFF -DPYROLITH_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
shopt -s nullglob
for target in build-fuzz/fuzz/*; do
  # The folder also holds CMake's own files; only the executables are targets.
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds=fuzz/corpus/$name
  work=build-fuzz/corpus-$name
  mkdir -p "$work"
  echo "Fuzzing $name for $seconds s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    "$work" $( [ -d "$seeds" ] && echo "$seeds" ) 2>&1 | tail -n 12
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz target $name failed" >&2; exit 1; }
done
