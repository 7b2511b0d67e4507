#!/usr/bin/env bash
# Installs what is missing, builds, and starts Pyrolith.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
ensure_packages $BUILD_PACKAGES
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target pyrolith -j"$(nproc)"
exec build/bin/pyrolith "$@"
