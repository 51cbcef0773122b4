#!/usr/bin/env bash
# Builds libvrt and passes every test:
#   1. Release build of the library, tool, tests and benchmarks; the whole suite;
#      then install it and build a C and a C++ consumer against the copy;
#   2. the suite again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the lifecycle and concurrency tests under ThreadSanitizer;
#   4. the AVX-512 Kuznyechik paths under MemorySanitizer with key and data
#      poisoned (clang; only where the processor has those paths);
#   5. a short bounded run of every libFuzzer target (clang).
# Test-only dependencies are installed first when missing (scripts/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-6}
# A single input that runs longer than this fails the fuzz step.
FUZZ_TIMEOUT=${FUZZ_TIMEOUT:-25}
start=$SECONDS
# The sanitizer and fuzz builds keep line tables only: enough for the
# sanitizers' stack traces, and much quicker to compile than full debug info.
# The address, thread and fuzz builds are at -O1, which halves their compile
# time under instrumentation; the MemorySanitizer check of the constant-time
# paths keeps -O2, the code generation the release build has. The suites'
# own code (not the library) is compiled at -O0 throughout: most of its
# compile time is GoogleTest's expansions, and a run's time is the library's.
LINES=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
LINES_O1=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")
step() { printf '\n==== %s (at %ds) ====\n' "$*" $((SECONDS - start)); }

step "dependencies"
scripts/deps.sh

step "release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVRT_TESTS_UNOPTIMIZED=ON -DVRT_BUILD_TESTS=ON -DVRT_BUILD_BENCH=ON \
  -DVRT_BUILD_TOOLS=ON >/dev/null
cmake --build build -j"$JOBS"
ctest --test-dir build -j"$JOBS" --no-tests=error --output-on-failure --timeout 600

step "installed library: find_package and pkg-config consumers"
scripts/consumer_check.sh build

step "address + undefined-behaviour sanitizers"
cmake -S . -B build-asan "${LINES_O1[@]}" -DVRT_SANITIZE=address,undefined -DVRT_TESTS_UNOPTIMIZED=ON \
  -DVRT_BUILD_TESTS=ON -DVRT_BUILD_BENCH=OFF -DVRT_BUILD_TOOLS=ON >/dev/null
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$JOBS" --no-tests=error --output-on-failure --timeout 900

step "thread sanitizer (lifecycle and concurrency)"
cmake -S . -B build-tsan "${LINES_O1[@]}" -DVRT_SANITIZE=thread -DVRT_TESTS_UNOPTIMIZED=ON \
  -DVRT_BUILD_TESTS=ON -DVRT_BUILD_BENCH=OFF -DVRT_BUILD_TOOLS=OFF >/dev/null
cmake --build build-tsan -j"$JOBS" --target vrt_thread_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan -j"$JOBS" --no-tests=error --output-on-failure -L 'lifecycle|concurrency' --timeout 900

# Whether the kernel reports the processor features of those paths; where it
# does not, the MemorySanitizer build (over a minute) would find nothing to
# check, so it is not made.
have_avx512_paths() { grep -qw avx512vbmi /proc/cpuinfo 2>/dev/null && grep -qw gfni /proc/cpuinfo 2>/dev/null; }
msan_nothing_to_check() { echo "no AVX-512 VBMI with GFNI on this processor: nothing for MemorySanitizer to check, step skipped"; }

if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: MemorySanitizer check skipped" >&2
elif ! have_avx512_paths; then
  step "constant-time check of the AVX-512 paths (MemorySanitizer)"
  msan_nothing_to_check
else
  # valgrind cannot run the AVX-512 paths; MemorySanitizer checks them with
  # the key and the data poisoned.
  step "constant-time check of the AVX-512 paths (MemorySanitizer)"
  cmake -S . -B build-msan "${LINES[@]}" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVRT_SANITIZE=memory -DVRT_BUILD_TESTS=ON -DVRT_BUILD_BENCH=OFF -DVRT_BUILD_TOOLS=OFF -DVRT_PEERS=OFF >/dev/null
  cmake --build build-msan -j"$JOBS" --target test_ctmsan
  # The program itself says whether this processor has the paths (77: it
  # has not); a run in which every test is skipped would prove nothing and
  # must not read as a pass.
  rc=0
  build-msan/tests/ct/test_ctmsan >build-msan/ctmsan-probe.log 2>&1 || rc=$?
  if [ "$rc" -eq 77 ]; then
    msan_nothing_to_check
  else
    ctest --test-dir build-msan -L ct --no-tests=error --output-on-failure
  fi
fi

if command -v clang++ >/dev/null; then
  step "fuzz targets (${FUZZ_SECONDS}s each)"
  cmake -S . -B build-fuzz "${LINES_O1[@]}" -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DVRT_BUILD_FUZZ=ON -DVRT_SANITIZE=address,undefined \
    -DVRT_BUILD_TESTS=OFF -DVRT_BUILD_BENCH=OFF -DVRT_BUILD_TOOLS=OFF >/dev/null
  cmake --build build-fuzz -j"$JOBS" --target vrt_fuzz_targets
  for target in build-fuzz/tests/fuzz/fuzz_*; do
    name=$(basename "$target")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=tests/fuzz/corpus/$name
    [ -d "$seeds" ] || seeds=
    echo "-- $name"
    if ! "$target" -max_total_time="$FUZZ_SECONDS" -timeout="$FUZZ_TIMEOUT" -print_final_stats=0 "$corpus" $seeds \
        >"$corpus.log" 2>&1; then
      tail -n 30 "$corpus.log"
      echo "fuzz target $name failed (crash or a slow input)" >&2
      exit 1
    fi
    tail -n 3 "$corpus.log"
  done
else
  echo "clang++ not found: fuzz targets skipped" >&2
fi

step "all tests passed"
