#!/usr/bin/env bash
# End-to-end checks of vrt hash: digest lines, checking, errors, and agreement
# with openssl dgst where the GOST provider is installed.
set -u
. "$(dirname "$0")/lib.sh" "$1"

# The standard's first example and the empty message, in the library's byte order.
printf '%s' 012345678901234567890123456789012345678901234567890123456789012 >"$dir/m1"
: >"$dir/empty"
M1_512=1b54d01a4af5b9d5cc3d86d68d285462b19abc2475222f35c085122be4ba1ffa00ad30f8767b3a82384c6574f024c311e2a481332b08ef7f41797891c1646f48
M1_256=9d151eefd8590b89daa6ba6cb74af9275dd051026bb149a452fd84e5e57b5500
EMPTY_512=8e945da209aa869f0455928529bcae4679e9873ab707b55315f56ceb98bef0a7362f715528356ee83cda5f2aac4c6ad2ba3a715c1bcd81cb8e9f90bf4c1c1a8a

[ "$("$VRT" hash m1)" = "$M1_512  m1" ] || fail "streebog512 line"
[ "$("$VRT" hash -a streebog256 m1)" = "$M1_256  m1" ] || fail "streebog256 line"
[ "$("$VRT" hash -astreebog256 m1)" = "$M1_256  m1" ] || fail "-aALG form"
[ "$("$VRT" hash < m1)" = "$M1_512  -" ] || fail "standard input"
[ "$("$VRT" hash - < empty)" = "$EMPTY_512  -" ] || fail "empty standard input"
[ "$("$VRT" hash m1 empty | wc -l)" = 2 ] || fail "one line per file"

# GOST R 34.11-94: RFC 5831's example on the test set, the CryptoPro set's
# digest of "abc" and of the empty message.
printf 'This is message, length=32 bytes' >m32
printf abc >abc
[ "$("$VRT" hash -a gost94-test m32)" = "b1c466d37519b82e8319819ff32595e047a28cb6f83eff1c6916a815a637fffa  m32" ] ||
  fail "gost94-test line"
[ "$("$VRT" hash -a gost94 abc)" = "b285056dbf18d7392d7677369524dd14747459ed8143997e163b2986f92fd42c  abc" ] ||
  fail "gost94 line"
[ "$("$VRT" hash -a gost94 empty)" = "981e5f3ca30c841487830f84fb433e13ac1101569b9c13584ac483234cd656c0  empty" ] ||
  fail "gost94 of the empty file"
"$VRT" hash -a gost94 m32 abc >sums94
expect_rc 0 "check a gost94 list" "$VRT" hash -a gost94 -c sums94
expect_rc 1 "a gost94 list read as streebog256" "$VRT" hash -c sums94

# A file larger than the read buffer, hashed in pieces, matches the peer.
head -c 300000 /dev/urandom >big
"$VRT" hash m1 empty big >sums
expect_rc 0 "check own list" "$VRT" hash -c sums
grep -q '^big: OK$' out || fail "check prints NAME: OK"
"$VRT" hash -a streebog256 m1 big >sums256
expect_rc 0 "check 256-bit list by digest length" "$VRT" hash -c sums256

# Mismatch, unreadable file, malformed list.
sed 's/^1/0/' sums >bad
expect_rc 1 "mismatch" "$VRT" hash -c bad
grep -q 'm1: FAILED' out || fail "mismatch reported"
grep -q 'did NOT match' err || fail "mismatch warning"
printf '%s  missing-file\n' "$M1_512" >gone
expect_rc 1 "unreadable file" "$VRT" hash -c gone
grep -q 'FAILED open or read' out || fail "unreadable reported"
echo "not a checksum line" >junk
expect_rc 1 "no checksum lines" "$VRT" hash -c junk
expect_rc 1 "missing input file" "$VRT" hash missing-file

# Bad usage.
expect_rc 2 "no command" "$VRT"
expect_rc 2 "unknown command" "$VRT" frobnicate
expect_rc 2 "unknown algorithm" "$VRT" hash -a sha1 m1
expect_rc 2 "missing algorithm" "$VRT" hash -a
expect_rc 2 "unknown option" "$VRT" hash -x m1
expect_rc 0 "help" "$VRT" --help
expect_rc 0 "command help" "$VRT" hash --help
grep -q -- "--check" out || fail "hash --help lists -c"
expect_rc 0 "selftest" "$VRT" selftest
expect_rc 0 "version" "$VRT" version
grep -q '1.1.0' out || fail "version text"

# Output that cannot be written fails the run with a message, for the digest
# lines, the check lines and the help texts alike.
if [ -w /dev/full ]; then
  for cmd in "hash m1" "hash -c sums" "hash --help" "--help" "help hash" "version"; do
    # shellcheck disable=SC2086
    "$VRT" $cmd >/dev/full 2>"$dir/err"; rc=$?
    [ "$rc" -eq 1 ] || fail "vrt $cmd > /dev/full: exit $rc, wanted 1"
    grep -q 'standard output' "$dir/err" || fail "vrt $cmd > /dev/full: no message ($(head -c 200 "$dir/err"))"
  done
else
  echo "/dev/full not available: lost-output check skipped"
fi

# A sum file that cannot be read reports the read error, not a list without
# checksum lines.
mkdir -p sumdir
expect_rc 1 "a directory as the sum file" "$VRT" hash -c sumdir
grep -q 'sumdir: Is a directory' err || fail "directory sum file: $(head -c 200 err)"
grep -q 'no properly formatted' err && fail "directory sum file read as empty"
cp sums unreadable && chmod 000 unreadable
if ! cat unreadable >/dev/null 2>&1; then
  expect_rc 1 "an unreadable sum file" "$VRT" hash -c unreadable
  grep -q 'unreadable: Permission denied' err || fail "unreadable sum file: $(head -c 200 err)"
  grep -q 'no properly formatted' err && fail "unreadable sum file read as empty"
fi
chmod 600 unreadable
expect_rc 1 "a directory to hash" "$VRT" hash sumdir
grep -q 'sumdir: Is a directory' err || fail "directory to hash: $(head -c 200 err)"

# Digests agree with openssl dgst: its -r lines ("DIGEST *NAME") check here.
if have_gost_provider; then
  openssl dgst -provider gostprov -md_gost12_512 -r m1 big >ossl512
  expect_rc 0 "openssl streebog512 list" "$VRT" hash -c ossl512
  openssl dgst -provider gostprov -md_gost12_256 -r m1 big >ossl256
  expect_rc 0 "openssl streebog256 list" "$VRT" hash -c ossl256
  # (the provider's digest of an empty input differs from the published one)
  openssl dgst -provider gostprov -md_gost94 -r m1 big >ossl94
  expect_rc 0 "openssl gost94 list" "$VRT" hash -a gost94 -c ossl94
else
  echo "openssl GOST provider not available: cross-tool check skipped"
fi

finish "vrt hash"
