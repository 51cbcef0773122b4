#!/usr/bin/env bash
# End-to-end checks of vrt mac: the MAC examples of GOST R 34.13-2015, the
# OpenSSL GOST provider's kuznyechik-mac and magma-mac on awkward lengths,
# the key forms, and errors.
set -u
. "$(dirname "$0")/lib.sh" "$1"

# GOST R 34.13-2015 A.1.6 and A.2.6: the standard prints the leftmost 8 and
# 4 bytes of the MAC.
unhex 1122334455667700ffeeddccbbaa998800112233445566778899aabbcceeff0a112233445566778899aabbcceeff0a002233445566778899aabbcceeff0a0011 >kuz.msg
unhex 92def06b3c130a59db54c704f8189d204a98fb2e67a8024c8912409b17b57e41 >magma.msg
KUZ_KEY=8899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef
MAGMA_KEY=ffeeddccbbaa99887766554433221100f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff
out=$("$VRT" mac -a kuznyechik -k "$KUZ_KEY" kuz.msg)
[ "${out:0:16}" = 336f4d296059fbe3 ] && [ "${out:32}" = "  kuz.msg" ] || fail "Kuznyechik example: $out"
out=$("$VRT" mac -a magma -k "$MAGMA_KEY" magma.msg)
[ "${out:0:8}" = 154e7210 ] && [ "${out:16}" = "  magma.msg" ] || fail "Magma example: $out"

# The key forms agree: hex in either case, a 32-byte file, a hex file.
unhex "$KUZ_KEY" >key.bin
echo "$KUZ_KEY" | tr a-f A-F >key.hex
want=$("$VRT" mac -a kuznyechik -k "$KUZ_KEY" <kuz.msg)
[ "$("$VRT" mac -a kuznyechik -k "$(echo $KUZ_KEY | tr a-f A-F)" - <kuz.msg)" = "$want" ] || fail "upper-case hex key"
[ "$("$VRT" mac -a kuznyechik -K key.bin <kuz.msg)" = "$want" ] || fail "32-byte key file"
[ "$("$VRT" mac -a kuznyechik --keyfile=key.hex <kuz.msg)" = "$want" ] || fail "hex key file"
[ "$("$VRT" mac -a kuznyechik -K key.bin kuz.msg magma.msg | wc -l)" = 2 ] || fail "one line per file"

# Errors: a key of the wrong size or form, a missing file among others.
head -c 31 key.bin >short.bin
expect_rc 1 "31-byte key file" "$VRT" mac -a magma -K short.bin kuz.msg
expect_rc 1 "short hex key" "$VRT" mac -a magma -k "${KUZ_KEY:2}" kuz.msg
expect_rc 1 "non-hex key" "$VRT" mac -a magma -k "${KUZ_KEY:2}zz" kuz.msg
expect_rc 1 "missing key file" "$VRT" mac -a magma -K missing.key kuz.msg
expect_rc 1 "missing file among others" "$VRT" mac -a magma -k "$MAGMA_KEY" kuz.msg missing magma.msg
[ "$(wc -l <out)" = 2 ] || fail "the other files are still MACed"
expect_rc 2 "no key" "$VRT" mac -a magma kuz.msg
expect_rc 2 "two keys" "$VRT" mac -a magma -k "$MAGMA_KEY" -K key.bin kuz.msg
expect_rc 2 "key and file both on standard input" "$VRT" mac -a magma -K - <key.bin
expect_rc 2 "no algorithm" "$VRT" mac -k "$MAGMA_KEY" kuz.msg
expect_rc 2 "unknown algorithm" "$VRT" mac -a aes -k "$MAGMA_KEY" kuz.msg
expect_rc 0 "mac --help" "$VRT" mac --help
grep -q -- "--keyfile" out || fail "mac --help lists -K"

# The provider's MACs on random keys and lengths around the blocks and the
# 64 KiB read buffer.
if have_gost_provider; then
  for len in 0 1 7 8 9 15 16 17 33 1000 65535 65536 65537 200003; do
    head -c "$len" /dev/urandom >m
    for alg in kuznyechik magma; do
      key=$(openssl rand -hex 32)
      theirs=$(openssl mac -provider gostprov -macopt "hexkey:$key" -in m "$alg-mac" | tr A-F a-f)
      mine=$("$VRT" mac -a "$alg" -k "$key" m)
      [ "$mine" = "$theirs  m" ] || fail "$alg MAC of $len bytes: vrt '$mine', openssl '$theirs'"
    done
  done
else
  echo "openssl GOST provider not available: cross-tool check skipped"
fi

finish "vrt mac"
