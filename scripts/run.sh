#!/usr/bin/env bash
# Builds the native screen saver and starts it on this desktop. Any key or
# mouse movement ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DGLORP_TESTS=OFF -DGLORP_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target glorp
exec build/glorp /s
