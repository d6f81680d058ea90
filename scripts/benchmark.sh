#!/usr/bin/env bash
# Times a first deployment and an upgrade of the stand-in product under Wine,
# in a throwaway prefix (build/bench-prefix), by Kovalimber and by the cmd
# batch of Windows' own tools in scripts/bench/, in alternating pairs, and
# prints each pair, the median ratio and the tool's own overhead next to the
# time spent in the installer, in the application's close and in the service.
# Figures only: nothing here passes or fails.
#   scripts/benchmark.sh [PAIRS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset mingw-cross >/dev/null
cmake --build --preset mingw-cross >/dev/null

prefix=$PWD/build/bench-prefix
scripts/wine-bench.sh fresh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all LANG=C.UTF-8
unset LC_ALL DISPLAY WAYLAND_DISPLAY

folder=build/bench
rm -rf "$folder"
mkdir -p "$folder"
cp build/bin/Kovalimber.exe samples/deploy.prj scripts/bench/deploy.cmd "$folder/"
cp build/bin/Quorvane.msi "$folder/Quorvane1.msi"
cp build/bin/Quorvane2.msi "$folder/Quorvane2.msi"
printf 'read me\r\n' > "$folder/readme.txt"
printf '[Site]\r\n' > "$folder/quorvane-site.ini"
printf 'user project' > "$folder/user.ffp"
printf 'user schedule' > "$folder/user.fsn"
printf 'service project' > "$folder/service.ffp"

python3 scripts/benchmark.py "$folder" "${1:-5}"
scripts/wine-bench.sh stop "$prefix"
