#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing: the compiler
# tool chain, GoogleTest and Google Benchmark, clang with libFuzzer, and the
# peer libraries the differential tests compare against (test-only; the
# library itself depends on nothing). Needs root for apt-get; without it the
# missing peers' comparisons are skipped.
set -u
packages=(
  cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev valgrind
  libgcrypt20-dev nettle-dev libssl-dev libengine-gost-openssl libbotan-2-dev libgmp-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "deps: not root and no sudo; continuing without ${missing[*]}" >&2
    exit 0
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y --no-install-recommends "${missing[@]}" >/tmp/vrt-deps.log 2>&1 || {
  $SUDO apt-get update >>/tmp/vrt-deps.log 2>&1
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}" >>/tmp/vrt-deps.log 2>&1 || {
    echo "deps: apt-get failed (see /tmp/vrt-deps.log); continuing" >&2
  }
}
exit 0
