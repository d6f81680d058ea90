#!/usr/bin/env bash
# Builds everything (tool, stand-in product, tests) and runs every test under
# Wine; then the project file's host build: its tests and seed corpus under
# AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz target for a
# bounded time (KV_FUZZ_SECONDS, 60 by default). Installs what is missing
# first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
echo "== The tool as it ships: 32-bit (build-x86)"
cmake --preset mingw-cross-x86 >/dev/null
cmake --build --preset mingw-cross-x86
scripts/check-shipped-exe.sh build-x86/bin/Kovalimber.exe
echo "== Tool, stand-in product and tests for the Wine bench (build)"
cmake --preset mingw-cross
cmake --build --preset mingw-cross
# Boot the throwaway prefix once, before ctest reads the test lists.
scripts/wine-bench.sh ensure build/wineprefix
ctest --preset mingw-cross -j "$(nproc)" "$@"

echo "== Project file under the sanitizers (host build in fuzz-build)"
cmake -S fuzz -B fuzz-build -G Ninja >/dev/null
cmake --build fuzz-build
ctest --test-dir fuzz-build -j 2 --output-on-failure
echo "== Fuzzing each target for ${KV_FUZZ_SECONDS:-60} s"
scripts/fuzz-campaign.sh -t "${KV_FUZZ_SECONDS:-60}" -b fuzz-build
