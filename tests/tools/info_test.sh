#!/usr/bin/env bash
# End-to-end checks of vrt selftest and vrt version. The second argument is a
# preloadable stand-in for vrtTest that fails with a chosen status.
set -u
. "$(dirname "$0")/lib.sh" "$1"
FAKE=$2

expect_rc 0 "selftest passes" "$VRT" selftest
grep -qx 'self-tests passed' out || fail "selftest prints the outcome"
[ ! -s err ] || fail "selftest writes nothing to stderr when it passes"
expect_rc 0 "selftest --help" "$VRT" selftest --help
grep -q 'usage: vrt selftest' out || fail "selftest help text"
expect_rc 2 "selftest with an argument" "$VRT" selftest extra
grep -q 'selftest takes no arguments' err || fail "selftest usage message"

# A failing self-test: outcome and status on stdout, a message on stderr,
# exit status 1. (Sanitizer runtimes must come first in the library list
# unless told otherwise.)
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
for case in "1 VRT_ERROR_FAILED" "7 VRT_ERROR_NO_MEMORY" "13 VRT_ERROR_RANDOM_TEST"; do
  set -- $case
  VRT_FAKE_TEST_STATUS=$1 expect_rc 1 "failing selftest ($2)" env LD_PRELOAD="$FAKE" "$VRT" selftest
  grep -qx "self-tests FAILED (status $1, $2)" out || fail "failure outcome for status $1: $(cat out)"
  grep -q 'self-test failed' err || fail "failure message on stderr for status $1"
done

expect_rc 0 "version" "$VRT" version
grep -qx 'vrt 1.1.0 (library version 0x10100)' out || fail "version line: $(cat out)"
expect_rc 0 "--version" "$VRT" --version
expect_rc 2 "version with an argument" "$VRT" version extra

finish "vrt selftest/version"
