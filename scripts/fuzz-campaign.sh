#!/usr/bin/env bash
# Fuzzes the project file in the host build (fuzz/): every target in its own
# libFuzzer process, all at once, each bounded by time and, if asked, by a
# number of executions. Prints for each target its executions, coverage and
# findings; exits 1 when a target found something.
#
#   scripts/fuzz-campaign.sh [-t SECONDS] [-n EXECUTIONS] [-b BUILD_DIR] [TARGET...]
#
# -t defaults to 60 s; with -n the time bound is whatever -t says (default
# 60 s, so give both for a long campaign). Targets: project, lookup (default
# both). The growing corpus stays in BUILD_DIR/campaign/TARGET/corpus for the
# next campaign; what a target finds goes to BUILD_DIR/campaign/TARGET/findings.
# Keep a finding's input: copy it into fuzz/corpus/TARGET once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
runs=-1
build=fuzz-build
while getopts "t:n:b:" option; do
  case $option in
    t) seconds=$OPTARG ;;
    n) runs=$OPTARG ;;
    b) build=$OPTARG ;;
    *) sed -n '2,14p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(project lookup)

if [ ! -f "$build/build.ninja" ]; then
  cmake -S fuzz -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" >"$build/campaign-build.log" 2>&1 || { cat "$build/campaign-build.log"; exit 1; }

pids=()
for target in "${targets[@]}"; do
  dir=$build/campaign/$target
  mkdir -p "$dir/corpus" "$dir/findings"
  touch "$dir/started"
  "$build/${target}_fuzzer" "$dir/corpus" "fuzz/corpus/$target" \
    -dict=fuzz/project.dict -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -runs="$runs" -print_final_stats=1 \
    -artifact_prefix="$dir/findings/" >"$dir/fuzz.log" 2>&1 &
  pids+=($!)
done

# A target that found something exits non-zero; its findings say what.
status=()
for pid in "${pids[@]}"; do
  if wait "$pid"; then status+=(0); else status+=($?); fi
done

failed=0
printf '%-8s %14s %8s %9s %16s %10s %9s\n' target executions seconds exec/s "coverage (edges)" features findings
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  dir=$build/campaign/$target
  log=$dir/fuzz.log
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  edges=$(sed -n 's/^INFO: Loaded [0-9]* modules *(\([0-9]*\) inline 8-bit counters).*/\1/p' "$log" | head -1)
  status_line=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status_line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status_line")
  elapsed=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  findings=$(find "$dir/findings" -type f -newer "$dir/started" | wc -l)
  printf '%-8s %14s %8s %9s %16s %10s %9s\n' "$target" "${executions:-?}" "${elapsed:-?}" "${rate:-?}" \
    "${cov:-?}/${edges:-?}" "${ft:-?}" "$findings"
  # libFuzzer's exit status when a signal stopped it: no finding, no verdict.
  if [ "${status[$i]}" -eq 72 ] && [ "$findings" -eq 0 ]; then
    failed=1
    echo "---- $target: interrupted before its bound"
  elif [ "${status[$i]}" -ne 0 ] || [ "$findings" -gt 0 ]; then
    failed=1
    echo "---- $target: exit status ${status[$i]}; report from $log:"
    sed -n '/check failed\|^==[0-9]*==ERROR\|runtime error\|^ALARM\|out-of-memory/,/^SUMMARY\|^MS:/p' "$log" |
      grep -v 'in fuzzer::\|libc_start\| in _start \|^NOTE\|^ *Combine libFuzzer' | sed 's/ (BuildId: [0-9a-f]*)//' | head -40
    find "$dir/findings" -type f -newer "$dir/started" -printf '     input: %p\n'
    echo "----"
  fi
done
exit $failed
