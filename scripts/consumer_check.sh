#!/usr/bin/env bash
# Installs a configured build of libvrt into a temporary prefix and builds two
# small consumers against the installed copy only: a C99 program through
# pkg-config (with <cpuid.h>, <pthread.h> and <stdint.h> beside <vrt.h>, every
# warning an error) and a C++ program through find_package(vrt); checks that
# a C file dropping a verification result fails under -Werror; then
# configures a project that adds the source tree with add_subdirectory.
#   scripts/consumer_check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libvrt.so' -print -quit)")

PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --exists --print-errors 'vrt >= 1'
cflags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags vrt)
libs=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --libs vrt)
${CC:-cc} -std=c99 -Wall -Wextra -pedantic -Werror $cflags tests/consumer/consumer.c $libs \
  -Wl,-rpath,"$libdir" -o "$prefix/consumer_c"
"$prefix/consumer_c"

# A dropped verification result is an error under -Werror: the file compiles
# with the unused-result warning off and must be refused with it on.
${CC:-cc} -std=c99 -Wall -Wextra -pedantic -Werror -Wno-unused-result $cflags -c tests/consumer/must_check.c \
  -o "$prefix/must_check.o"
if ${CC:-cc} -std=c99 -Wall -Wextra -pedantic -Werror $cflags -c tests/consumer/must_check.c \
  -o "$prefix/must_check.o" 2>/dev/null; then
  echo "a dropped vrtSignerVerify result compiled without an error" >&2
  exit 1
fi
echo "dropped verification result: refused under -Werror"

cmake -S tests/consumer/cmake -B "$prefix/build-cxx" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/build-cxx" >/dev/null
"$prefix/build-cxx/consumer"

# The source tree added with add_subdirectory: configured only (the check is
# that no test, benchmark or tool target appears, and vrt::vrt does).
cmake -S tests/consumer/subdir -B "$prefix/build-subdir" -DVRT_SOURCE_DIR="$PWD" >/dev/null
echo "add_subdirectory consumer: configured with vrt::vrt and no tests"
