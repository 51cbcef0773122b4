#!/usr/bin/env bash
# Whole-process timings of vrt genkey, sign and verify of a 1 KiB file beside
# the same openssl commands with the GOST engine, with hyperfine (not a CI
# dependency). Usage: bench/tool_processes.sh [path/to/vrt] [runs]
set -eu
VRT=$(realpath "${1:-build/tools/vrt}")
RUNS=${2:-20}
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
head -c 1024 /dev/urandom >msg
grep -m1 'model name' /proc/cpuinfo
for spec in 256:A 256:TCA 512:A; do
  bits=${spec%:*} set=${spec#*:} alg=gost2012_${spec%:*} md=-md_gost12_${spec%:*}
  openssl genpkey -engine gost -algorithm "$alg" -pkeyopt "paramset:$set" -out key.pem 2>/dev/null
  openssl pkey -engine gost -in key.pem -pubout -out pub.pem 2>/dev/null
  openssl dgst -engine gost "$md" -sign key.pem -out sig msg 2>/dev/null
  echo "== $bits-bit $set"
  hyperfine -N --warmup 2 --runs "$RUNS" --style basic --export-markdown "md-$bits-$set" \
    -n "vrt genkey" "$VRT genkey -a $alg -p $set -o g.pem" \
    -n "openssl genpkey" "openssl genpkey -engine gost -algorithm $alg -pkeyopt paramset:$set -out g.pem" \
    -n "vrt sign" "$VRT sign -k key.pem -o s msg" \
    -n "openssl dgst -sign" "openssl dgst -engine gost $md -sign key.pem -out s msg" \
    -n "vrt verify" "$VRT verify -K pub.pem -s sig msg" \
    -n "openssl dgst -verify" "openssl dgst -engine gost $md -verify pub.pem -signature sig msg" >/dev/null
  cat "md-$bits-$set"
done
