#!/usr/bin/env bash
# The Wine test bench: a throwaway prefix with the null graphics driver
# (windows without a display), a persistent wineserver and Wine's daemons
# (services.exe and friends) started with their stdio detached. Daemons that a
# test starts first would inherit the test's output pipe, and ctest would wait
# on that pipe forever.
#
#   wine-bench.sh ensure PREFIX   make the prefix if needed and start the bench
#   wine-bench.sh fresh PREFIX    throw the prefix away and start anew
#   wine-bench.sh stop PREFIX     stop the prefix's server and every process in it
set -euo pipefail

usage() { echo "usage: $0 ensure|fresh|stop PREFIX" >&2; exit 2; }
[ $# -eq 2 ] || usage
command=$1
prefix=$(realpath -m "$2")

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
unset LC_ALL DISPLAY WAYLAND_DISPLAY
marker="$prefix/.kovalimber-bench"

server_running() {
  local pid
  for pid in $(pgrep -x wineserver64 2>/dev/null; pgrep -x wineserver 2>/dev/null); do
    if { tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
      return 0
    fi
  done
  return 1
}

stop_server() {
  if server_running; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
}

make_prefix() {
  stop_server
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineboot -i </dev/null >/dev/null 2>&1
  # The graphics driver is read when the server starts: write it first.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  # A program that crashes ends at once: its "debugger" exits straight away,
  # instead of Wine's own waiting for ever in the test's place.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'cmd.exe /c exit' /f \
    </dev/null >/dev/null 2>&1
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  touch "$marker"
}

start_bench() {
  wineserver -p </dev/null >/dev/null 2>&1
  # The first program of a fresh server starts services.exe, explorer.exe
  # and the rest; here they get /dev/null, not a test's pipe.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

ensure() {
  if [ -f "$marker" ] && server_running; then
    return 0
  fi
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  [ -f "$marker" ] || make_prefix
  server_running || start_bench
}

case "$command" in
  ensure) ensure ;;
  fresh) mkdir -p "$(dirname "$prefix")"; exec 9>"$prefix.lock"; flock 9; make_prefix; start_bench ;;
  stop) stop_server ;;
  *) usage ;;
esac
