#!/usr/bin/env bash
# Runs every libFuzzer target for a fixed number of executions and prints,
# per target, the executions done, the coverage reached and what was found.
#   scripts/fuzz_campaign.sh [RUNS] [TIMEOUT_SECONDS]
# RUNS defaults to 10000000 per target; a single input slower than the
# timeout (default 25 s) counts as a finding. Builds build-fuzz with clang
# (ASan + UBSan) as scripts/test.sh does; crashes, timeouts and leaks are
# left as files in build-fuzz/findings/<target>/ to be fixed and kept in
# tests/fuzz/corpus/<target>/.
# Environment: FUZZ_SANITIZE (default address,undefined; empty for a faster
# build without sanitizers), FUZZ_BUILD (default build-fuzz), FUZZ_MAX_TIME
# (seconds per target, default 0 = until RUNS), FUZZ_TARGETS (names to run,
# default all), FUZZ_BUILD_TYPE (default RelWithDebInfo).
set -uo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-10000000}
TIMEOUT=${2:-25}
JOBS=${JOBS:-$(nproc)}
SANITIZE=${FUZZ_SANITIZE-address,undefined}
BUILD=${FUZZ_BUILD:-build-fuzz}
MAX_TIME=${FUZZ_MAX_TIME:-0}
TARGETS=${FUZZ_TARGETS:-}
BUILD_TYPE=${FUZZ_BUILD_TYPE:-RelWithDebInfo}
command -v clang++ >/dev/null || { echo "clang++ is needed for the fuzz targets" >&2; exit 2; }
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVRT_BUILD_FUZZ=ON -DVRT_SANITIZE="$SANITIZE" \
  -DVRT_BUILD_TESTS=OFF -DVRT_BUILD_BENCH=OFF -DVRT_BUILD_TOOLS=OFF >/dev/null || exit 1
cmake --build "$BUILD" -j"$JOBS" --target vrt_fuzz_targets || exit 1

printf '%-28s %14s %7s %8s %8s %s\n' target execs seconds cov ft result
status=0
for target in "$BUILD"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  if [ -n "$TARGETS" ]; then
    case " $TARGETS " in *" $name "*) ;; *) continue ;; esac
  fi
  corpus=$BUILD/corpus/$name findings=$BUILD/findings/$name
  mkdir -p "$corpus" "$findings"
  seeds=tests/fuzz/corpus/$name
  [ -d "$seeds" ] || seeds=
  log=$findings/run.log
  t0=$SECONDS
  "$target" -runs="$RUNS" -max_total_time="$MAX_TIME" -timeout="$TIMEOUT" -print_final_stats=1 -artifact_prefix="$findings/" \
    "$corpus" $seeds >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  found=$(find "$findings" -maxdepth 1 -type f ! -name run.log | wc -l)
  if [ "$rc" -eq 0 ] && [ "$found" -eq 0 ]; then
    result="no findings"
  else
    result="FOUND ($found file(s) in $findings, exit $rc)"
    status=1
  fi
  printf '%-28s %14s %7s %8s %8s %s\n' "$name" "${execs:-?}" $((SECONDS - t0)) "${cov:-?}" "${ft:-?}" "$result"
done
exit $status
