#!/usr/bin/env bash
# Builds everything and runs the sample deployment under Wine, in a fresh
# throwaway prefix (build/demo-prefix): a first deployment on a clean machine,
# then an upgrade while the application and the service run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset mingw-cross >/dev/null
cmake --build --preset mingw-cross

prefix=$PWD/build/demo-prefix
echo "== Fresh Wine prefix: $prefix"
scripts/wine-bench.sh fresh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all LANG=C.UTF-8
unset LC_ALL DISPLAY WAYLAND_DISPLAY

bin=build/bin
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"
cp "$bin/Kovalimber.exe" samples/deploy.prj "$demo/"
printf 'Quorvane demo read-me\r\n' > "$demo/readme.txt"
printf '[Site]\r\nserver=backup01\r\n' > "$demo/quorvane-site.ini"
printf 'user project\r\n' > "$demo/user.ffp"
printf 'user schedule\r\n' > "$demo/user.fsn"
printf 'service project\r\n' > "$demo/service.ffp"

run() {
  echo
  echo "== $1"
  echo "\$ Kovalimber.exe deploy.prj"
  set +e
  (cd "$demo" && wine Kovalimber.exe deploy.prj)
  local code=$?
  set -e
  echo "== exit code $code"
}

if [ -f "$bin/Quorvane.msi" ]; then
  cp "$bin/Quorvane.msi" "$demo/Quorvane.msi"
  run "First deployment on a clean machine"
  if [ -f "$bin/Quorvane2.msi" ]; then
    # The first deployment left the application and the service running.
    cp "$bin/Quorvane2.msi" "$demo/Quorvane.msi"
    run "Upgrade to the second package version while the application and the service run"
    echo "installed version: $(tr -d '\r' < "$prefix/drive_c/Program Files (x86)/Talwick/Quorvane 2012/QuorvaneVersion.txt")"
  fi
else
  run "Deployment (no stand-in package built)"
fi

# Windows' own folder is "Logs"; Wine's prefix has it in lower case.
logs="$(find "$prefix/drive_c/windows" -maxdepth 1 -iname logs | head -n 1)/Software"
echo
echo "== The log both runs left: $logs/Kovalimber.log"
tr -d '\r' < "$logs/Kovalimber.log"
echo "== The installer's own verbose logs beside it:"
ls "$logs" | grep -v '^Kovalimber\.log$' || true

scripts/wine-bench.sh stop "$prefix"
