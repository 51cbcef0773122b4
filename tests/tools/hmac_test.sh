#!/usr/bin/env bash
# End-to-end checks of vrt hmac: MAC lines for the published examples, keys
# from hex and from files, errors, and agreement with openssl mac where the
# GOST provider is installed.
set -u
. "$(dirname "$0")/lib.sh" "$1"

# R 50.1.113-2016 (RFC 7836): key 00..1f over 01 26 bd b8 78 00 af 21 43 41 45 65 63 78 01 00.
KEY=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
printf '\001\046\275\270\170\000\257\041\103\101\105\145\143\170\001\000' >t
printf '%s' "$KEY" | xxd -r -p >keyfile
H256=a1aa5f7de402d7b3d323f2991c8d4534013137010a83754fd0af6d7cd4922ed9
H512=a59bab22ecae19c65fbde6e5f4e9f5d8549d31f037f9df9b905500e171923a773d5f1530f2ed7e964cb2eedc29e9ad2f3afe93b2814f79f5000ffc0366c251e6
# HMAC-GOST R 34.11-94 (CryptoPro set) over the RFC 5831 message, as OpenSSL, libgcrypt and Nettle give it.
printf 'This is message, length=32 bytes' >m32
H94=e1e122eb8d28e146637d0265ae8226f4f0d75e172748a76d7c33435aaf7de9bc

[ "$("$VRT" hmac -k "$KEY" t)" = "$H256  t" ] || fail "streebog256 is the default"
[ "$("$VRT" hmac -a streebog256 -k "$KEY" t)" = "$H256  t" ] || fail "streebog256 line"
[ "$("$VRT" hmac -a streebog512 -K keyfile t)" = "$H512  t" ] || fail "streebog512 with a key file"
[ "$("$VRT" hmac -a gost94 -k "$KEY" m32)" = "$H94  m32" ] || fail "gost94 line"
[ "$("$VRT" hmac -agost94 --key="$KEY" m32)" = "$H94  m32" ] || fail "joined option values"
[ "$("$VRT" hmac -k "$(printf '%s' "$KEY" | tr a-f A-F)" < t)" = "$H256  -" ] || fail "upper-case key, standard input"
[ "$("$VRT" hmac -K - t < keyfile)" = "$H256  t" ] || fail "key file on standard input"
[ "$("$VRT" hmac -k "$KEY" t m32 t | wc -l)" = 3 ] || fail "one line per file"
# An empty key is a key (all-zero block).
expect_rc 0 "empty key" "$VRT" hmac -k "" t
# A file larger than the read buffer, in pieces.
head -c 300000 /dev/urandom >big
expect_rc 0 "big file" "$VRT" hmac -k "$KEY" big

# Errors: the key is never echoed.
expect_rc 2 "no key" "$VRT" hmac t
expect_rc 2 "two keys" "$VRT" hmac -k "$KEY" -K keyfile t
expect_rc 2 "odd hex" "$VRT" hmac -k abc t
expect_rc 2 "not hex" "$VRT" hmac -k 00zz11deadbeef t
grep -q 00zz11 err && fail "bad key echoed on standard error"
expect_rc 2 "unknown algorithm" "$VRT" hmac -a sha256 -k "$KEY" t
expect_rc 2 "missing algorithm" "$VRT" hmac -k "$KEY" -a
expect_rc 2 "unknown option" "$VRT" hmac -x -k "$KEY" t
expect_rc 2 "key and data both on standard input" "$VRT" hmac -K - -
expect_rc 1 "missing key file" "$VRT" hmac -K no-such-key t
expect_rc 1 "missing input file" "$VRT" hmac -k "$KEY" t no-such-file
grep -q "^$H256  t\$" out || fail "files before a missing one are still done"
grep -q 'no-such-file' err || fail "missing file named"
expect_rc 0 "help" "$VRT" hmac --help
grep -q -- "--key-file" out || fail "hmac --help lists -K"
"$VRT" --help | grep -q '^  hmac ' || fail "vrt --help lists hmac"

# MACs agree with openssl mac (its hex in upper case).
if have_gost_provider; then
  for pair in streebog256:md_gost12_256 streebog512:md_gost12_512 gost94:md_gost94; do
    alg=${pair%%:*} md=${pair#*:}
    for f in t m32 big; do
      want=$(openssl mac -provider gostprov -provider default -digest "$md" -macopt hexkey:"$KEY" -in "$f" HMAC |
        tr A-F a-f)
      [ "$("$VRT" hmac -a "$alg" -K keyfile "$f")" = "$want  $f" ] || fail "openssl mac $md on $f"
    done
  done
else
  echo "openssl GOST provider not available: cross-tool check skipped"
fi

finish "vrt hmac"
