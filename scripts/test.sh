#!/usr/bin/env bash
# Builds everything and runs every test: the native build with its unit,
# program, X11 and Wine tests, the unit tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the MinGW-w64 cross build of glorp.scr.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

jobs=$(nproc)

echo "== Windows build (MinGW-w64) =="
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-windows -j"$jobs"

echo "== Native build =="
# The run command configures the same tree without tests; switch them back on.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DGLORP_TESTS=ON -DGLORP_BENCH=ON \
      -DGLORP_WINDOWS_SCR="$PWD/build-windows/glorp.scr" >/dev/null
cmake --build build -j"$jobs"

echo "== Sanitizer build =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DGLORP_SANITIZE=ON -DGLORP_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs"

echo "== Tests =="
ctest --test-dir build --output-on-failure -j"$jobs"
echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit
