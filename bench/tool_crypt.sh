#!/usr/bin/env bash
# Whole-process throughput of vrt encrypt and vrt decrypt on a 256 MiB file
# beside vrt hash (Streebog-512) of the same file, best of RUNS, in MB/s
# (10^6 bytes per second of plaintext). The key derivation runs 1000
# iterations here so the figures are the data path; the cost of the default
# count is printed on its own line. The files live in a temporary directory
# (the page cache, after a first read); OUT is written and synced (fsync) as
# the tool always does, and the two last lines write to /dev/null instead.
# Usage: bench/tool_crypt.sh [path/to/vrt] [runs]
set -eu
VRT=$(realpath "${1:-build/tools/vrt}")
RUNS=${2:-5}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
SIZE=$((256 << 20))
head -c "$SIZE" /dev/urandom >data
printf 'benchmark password\n' >pw
"$VRT" encrypt --iter 1000 --pass-file pw -o data.enc data

now() { date +%s%N; }
best() {  # best NAME COMMAND...: the fastest of RUNS runs, in MB/s
  local name=$1 t0 t1 ns best_ns=
  shift
  for ((r = 0; r < RUNS; r++)); do
    t0=$(now)
    "$@" >/dev/null
    t1=$(now)
    ns=$((t1 - t0))
    if [ -z "$best_ns" ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
  done
  awk -v n="$name" -v b="$SIZE" -v t="$best_ns" 'BEGIN { printf "%-40s %8.1f MB/s  (%.3f s)\n", n, b * 1000 / t, t / 1e9 }'
}

grep -m1 'model name' /proc/cpuinfo
echo "256 MiB, best of $RUNS runs:"
best "vrt hash (streebog512)" "$VRT" hash data
best "vrt encrypt (--iter 1000)" "$VRT" encrypt --iter 1000 --pass-file pw -o out.enc data
best "vrt decrypt" "$VRT" decrypt --pass-file pw -o out.dec data.enc
cmp -s data out.dec || { echo "decrypted file differs" >&2; exit 1; }
# The same to standard output into /dev/null: no file written and synced.
best "vrt encrypt >/dev/null" "$VRT" encrypt --iter 1000 --pass-file pw data
best "vrt decrypt >/dev/null" "$VRT" decrypt --pass-file pw data.enc
: >empty
t0=$(now)
"$VRT" encrypt --pass-file pw -o empty.enc empty
t1=$(now)
awk -v t=$((t1 - t0)) 'BEGIN { printf "%-40s %8.3f s\n", "vrt encrypt of an empty file (default --iter)", t / 1e9 }'
