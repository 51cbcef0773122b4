#!/usr/bin/env bash
# End-to-end checks of vrt genkey, pubkey, sign, verify and derive: key files,
# signatures and VKO against OpenSSL with the GOST engine on every parameter
# set, refused signatures, and bad input that must fail cleanly.
set -u
. "$(dirname "$0")/lib.sh" "$1"

head -c 1024 /dev/urandom >msg
SETS_256="A B C XA XB TCA TCB TCC TCD TEST"
SETS_512="A B C TEST"

# openssl names the 256-bit test set 0 and the 512-bit one only by its identifier.
ossl_set() {
  case "$1:$2" in
    256:TEST) echo 0 ;;
    512:TEST) echo 1.2.643.7.1.2.1.2.0 ;;
    *) echo "$2" ;;
  esac
}
ossl() { openssl "$1" -engine gost "${@:2}" 2>"$dir/ossl.err"; }
# The DER inside a PEM file.
pem_der() { sed '/^-----/d' "$1" | base64 -d; }
# flip FILE OFFSET MASK: XORs one byte of FILE in place.
flip() {
  local b
  b=$(od -An -tx1 -j "$2" -N1 "$1" | tr -d ' ')
  unhex "$(printf '%02x' $((0x$b ^ $3)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# expect_fail DESCRIPTION command...: exit 1 with exactly one line on stderr.
expect_fail() {
  local what=$1; shift
  expect_rc 1 "$what" "$@"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "$what: wanted one line on stderr, got: $(cat "$dir/err")"
}

# ---- vrt alone: a key's life, refusals, formats ------------------------------

for spec in 256:TCA 512:C; do
  bits=${spec%:*} set=${spec#*:} alg=gost2012_${spec%:*}
  expect_rc 0 "genkey $spec" "$VRT" genkey -a "$alg" -p "$set" -o key.pem
  [ "$(stat -c %a key.pem)" = 600 ] || fail "genkey $spec: key file mode $(stat -c %a key.pem)"
  expect_rc 0 "pubkey $spec" "$VRT" pubkey -i key.pem -o pub.pem
  expect_rc 0 "sign $spec" "$VRT" sign -k key.pem -o sig msg
  [ "$(wc -c <sig)" -eq $((bits / 4)) ] || fail "sign $spec: signature of $(wc -c <sig) bytes"
  expect_rc 0 "verify $spec" "$VRT" verify -K pub.pem -s sig msg
  [ "$(cat out)" = "Verified OK" ] || fail "verify $spec prints '$(cat out)'"

  # One flipped bit anywhere in the signature, one changed byte of the file,
  # another key of the same set: each is refused.
  cp key.pem key$bits.pem
  cp sig badsig
  flip badsig $((RANDOM % (bits / 4))) $((1 << (RANDOM % 8)))
  expect_rc 1 "flipped signature bit $spec" "$VRT" verify -K pub.pem -s badsig msg
  [ "$(cat out)" = "Verification failure" ] || fail "refusal $spec prints '$(cat out)'"
  cp msg badmsg
  flip badmsg $((RANDOM % 1024)) 0x20
  expect_rc 1 "changed file byte $spec" "$VRT" verify -K pub.pem -s sig badmsg
  "$VRT" genkey -a "$alg" -p "$set" -o other.pem && "$VRT" pubkey -i other.pem -o otherpub.pem
  expect_rc 1 "another key $spec" "$VRT" verify -K otherpub.pem -s sig msg
  cmp -s key.pem other.pem && fail "genkey $spec: two runs gave the same key"
done
# A public key of another set (another curve) refuses too.
"$VRT" genkey -a gost2012_512 -p A -o key512a.pem && "$VRT" pubkey -i key512a.pem -o pub512a.pem
expect_rc 1 "public key of 512-bit set A for a set C signature" "$VRT" verify -K pub512a.pem -s sig msg

# DER in and out; standard input and output.
"$VRT" genkey -a gost2012_512 -p B --der -o key.der
"$VRT" pubkey -i key.der --der -o pub.der
"$VRT" sign -k key.der msg >sig.der
expect_rc 0 "DER keys, signature on standard output" "$VRT" verify -K pub.der -s sig.der - <msg
"$VRT" genkey -a gost2012_512 >stdout.pem && head -1 stdout.pem | grep -q 'BEGIN PRIVATE KEY' ||
  fail "genkey to standard output"
"$VRT" pubkey <key.der >pub2.pem
"$VRT" sign -k - -o sig2 msg <key.der
expect_rc 0 "keys through standard input" "$VRT" verify -K pub2.pem -s sig2 msg

# VKO is symmetric, and the UKM matters.
"$VRT" genkey -a gost2012_512 -p B -o peer.pem && "$VRT" pubkey -i peer.pem -o peerpub.pem
ab=$("$VRT" derive -k key.der -K peerpub.pem --ukm 0102030405060708)
ba=$("$VRT" derive -k peer.pem -K pub.der --ukm 0102030405060708)
[ "$ab" = "$ba" ] && [ ${#ab} -eq 64 ] || fail "derive: $ab vs $ba"
[ "$("$VRT" derive -k key.der -K peerpub.pem --ukm 0202030405060708)" != "$ab" ] || fail "derive ignores the UKM"
[ "$("$VRT" derive -k key.der -K peerpub.pem --ukm 01)" = "$("$VRT" derive -k key.der -K peerpub.pem)" ] ||
  fail "derive: the default UKM is not 1"
long=$("$VRT" derive -k key.der -K peerpub.pem -a streebog512)
[ ${#long} -eq 128 ] || fail "derive -a streebog512 gave $long"

# ---- bad input: one message, exit 1, no output file --------------------------

der=$(hex_of key.der)
unhex "${der:0:${#der}-2}" >trunc.der
unhex "${der}00" >trailing.der
cp key.pem trailing.pem && echo "garbage" >>trailing.pem
sed '$d' key.pem >noend.pem
sed '2s/./*/' key.pem >badb64.pem
sed '2s/^/ /' key.pem >indented.pem
: >empty.key
echo "hello" >text.key
# The parameter set identifier 1.2.643.7.1.2.1.2.2 made ...2.9.
unhex "$(echo "$der" | sed 's/06092a8503070102010202/06092a8503070102010209/')" >unknownset.der
unhex "$(echo "$der" | sed 's/06082a85030701010102/06082a85030701010109/')" >unknownalg.der
unhex "$(echo "$der" | sed 's/^3068/308068/')" >indefinite.der
unhex "$(echo "$der" | sed 's/^3068/308168/')" >longform.der
for bad in trunc.der trailing.der trailing.pem noend.pem badb64.pem indented.pem empty.key text.key \
  unknownset.der unknownalg.der indefinite.der longform.der pub.der missing.key; do
  expect_fail "key $bad" "$VRT" sign -k "$bad" -o out.sig msg
  [ -e out.sig ] && fail "key $bad: a signature file was left"
done
grep -q 'unknown parameter set' <("$VRT" sign -k unknownset.der msg 2>&1) || fail "unknown set message"
grep -q 'a public key, not a private key' <("$VRT" sign -k pub.der msg 2>&1) || fail "public key as -k message"
expect_fail "private key as -K" "$VRT" verify -K key.der -s sig2 msg
expect_fail "missing file to sign" "$VRT" sign -k key.der -o out.sig missing-file
[ -e out.sig ] && fail "a signature file was left for a missing input"
head -c 127 sig2 >shortsig
expect_fail "signature of the wrong length" "$VRT" verify -K pub2.pem -s shortsig msg
grep -q '127 bytes' err || fail "short signature message"
# A point off the curve: the last byte of y changed.
pub=$(hex_of pub.der)
last=${pub: -2}
unhex "${pub:0:${#pub}-2}$( [ "$last" = 00 ] && echo 01 || echo 00)" >offcurve.der
expect_fail "public key off the curve" "$VRT" verify -K offcurve.der -s sig.der msg
grep -q 'not a point' err || fail "off-curve message: $(cat err)"
expect_fail "derive with an off-curve peer" "$VRT" derive -k key.der -K offcurve.der
"$VRT" genkey -a gost2012_512 -p C -o key512c.pem
expect_fail "derive across sets" "$VRT" derive -k key512c.pem -K pub.der
expect_fail "derive with a 256-bit key and a 512-bit peer" "$VRT" derive -k key256.pem -K pub.der
expect_fail "zero UKM" "$VRT" derive -k key.der -K peerpub.pem --ukm 0000
expect_fail "UKM too long" "$VRT" derive -k key.der -K peerpub.pem --ukm "$(printf '%0130d' 1)"
expect_fail "genkey into a missing directory" "$VRT" genkey -a gost2012_256 -o no/such/dir/key.pem
ls -A | grep -q '^\.' && fail "temporary files were left: $(ls -A | grep '^\.')"

# Bad usage: exit 2.
expect_rc 2 "genkey without -a" "$VRT" genkey
expect_rc 2 "unknown algorithm" "$VRT" genkey -a gost2001
expect_rc 2 "unknown set" "$VRT" genkey -a gost2012_512 -p XA
expect_rc 2 "sign without -k" "$VRT" sign msg
expect_rc 2 "sign with two files" "$VRT" sign -k key.der msg msg
expect_rc 2 "key and file both on standard input" "$VRT" sign -k - - <key.der
expect_rc 2 "verify without -s" "$VRT" verify -K pub.der msg
expect_rc 2 "option without its value" "$VRT" sign -k
expect_rc 2 "unknown option" "$VRT" pubkey --frobnicate
expect_rc 2 "bad UKM" "$VRT" derive -k key.der -K peerpub.pem --ukm xyz
for c in genkey:--paramset pubkey:--der sign:--out verify:--signature derive:--ukm; do
  expect_rc 0 "${c%:*} --help" "$VRT" "${c%:*}" --help
  grep -q -- "${c#*:}" out || fail "${c%:*} --help does not list ${c#*:}"
done
expect_rc 0 "vrt --help" "$VRT" --help
for c in genkey pubkey sign verify derive mac; do grep -q "^  $c " out || fail "vrt --help does not list $c"; done

# ---- OpenSSL with the GOST engine, every parameter set -----------------------

if ! have_gost_engine; then
  echo "openssl GOST engine not available: interoperability checks skipped"
  finish "vrt keys"
fi

for bits in 256 512; do
  sets=SETS_$bits
  for set in ${!sets}; do
    alg=gost2012_$bits md=-md_gost12_$bits os=$(ossl_set "$bits" "$set") tag="$bits-bit $set"
    ossl genpkey -algorithm "$alg" -pkeyopt "paramset:$os" -out ko.pem || { fail "openssl genpkey $tag"; continue; }
    ossl pkey -in ko.pem -pubout -out po.pem
    "$VRT" genkey -a "$alg" -p "$set" -o kv.pem || fail "genkey $tag"
    ossl pkey -in kv.pem -pubout -out pv.pem || fail "openssl reads vrt's key $tag: $(cat "$dir/ossl.err")"
    # vrt writes the structure openssl writes: all but the key bytes agree.
    a=$(pem_der ko.pem | od -An -v -tx1 | tr -d ' \n') b=$(pem_der kv.pem | od -An -v -tx1 | tr -d ' \n')
    [ "${a:0:${#a}-bits/4}" = "${b:0:${#b}-bits/4}" ] || fail "key structure $tag: $a vs $b"

    "$VRT" sign -k ko.pem -o s1 msg || fail "vrt sign with openssl's key $tag"
    ossl dgst "$md" -verify po.pem -signature s1 msg >out || fail "openssl refuses vrt's signature $tag"
    ossl dgst "$md" -sign kv.pem -out s2 msg || fail "openssl sign with vrt's key $tag"
    expect_rc 0 "vrt verifies openssl's signature $tag" "$VRT" verify -K pv.pem -s s2 msg

    ukm=$(openssl rand -hex 8)
    mine=$("$VRT" derive -k kv.pem -K po.pem --ukm "$ukm")
    theirs=$(ossl pkeyutl -derive -inkey ko.pem -peerkey pv.pem -pkeyopt "ukmhex:$ukm" | od -An -v -tx1 | tr -d ' \n')
    [ -n "$mine" ] && [ "$mine" = "$theirs" ] || fail "derive $tag: vrt $mine, openssl $theirs"

    "$VRT" pubkey -i ko.pem -o pk.pem && cmp -s pk.pem po.pem || fail "vrt pubkey differs from openssl's $tag"
  done
done

# DER files both ways.
ossl pkey -in kv.pem -outform DER -out kv.der
"$VRT" pubkey -i kv.der --der -o pv.der
ossl pkey -pubin -inform DER -in pv.der -out pv2.pem && cmp -s pv2.pem pv.pem || fail "openssl reads vrt's DER public key"
ossl pkey -inform DER -in key.der -pubout -out pub3.pem && cmp -s pub3.pem pub2.pem || fail "openssl reads vrt's DER key"

# Private keys as older engines wrote them: the bytes wrapped in a further
# OCTET STRING, and a big-endian INTEGER. openssl and vrt read both alike.
der=$(pem_der kv.pem | od -An -v -tx1 | tr -d ' \n')  # 512-bit TEST set: 30 68 .. 04 40 <key>
head=${der:4:${#der}-4-132} key=${der: -128}
unhex "306a${head}04420440${key}" >wrapped.der
be=$(echo "$key" | fold -w2 | tac | tr -d '\n')
while [ "${be:0:2}" = 00 ]; do be=${be:2}; done
case ${be:0:1} in [89a-f]) be=00$be ;; esac
ilen=$(printf '%02x' $((${#be} / 2)))
olen=$(printf '%02x' $((${#be} / 2 + 2)))
tlen=$(printf '%02x' $(((${#head} / 2) + 2 + ${#be} / 2 + 2)))
unhex "30${tlen}${head}04${olen}02${ilen}${be}" >integer.der
for form in wrapped integer; do
  ossl pkey -inform DER -in $form.der -pubout -out $form-o.pem || fail "openssl reads the $form key form"
  "$VRT" pubkey -i $form.der -o $form-v.pem || fail "vrt reads the $form key form"
  cmp -s $form-o.pem pv.pem && cmp -s $form-v.pem pv.pem || fail "$form key form gives another public key"
done

finish "vrt keys"
