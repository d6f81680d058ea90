#!/usr/bin/env bash
# Builds everything (tool, stand-in product, tests) and runs every test under
# Wine. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset mingw-cross
cmake --build --preset mingw-cross
# Boot the throwaway prefix once, before ctest reads the test lists.
scripts/wine-bench.sh ensure build/wineprefix
ctest --preset mingw-cross -j "$(nproc)" "$@"
