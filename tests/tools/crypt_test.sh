#!/usr/bin/env bash
# End-to-end checks of vrt encrypt and vrt decrypt: round trips around the
# 64 KiB chunks, every byte of a small file changed, chunks dropped, repeated,
# swapped and the file cut at every chunk boundary, wrong passwords, hostile
# headers, the standard streams, and that a refused decryption leaves no file.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh" "$1"

HEADER=57 TAG=16 CHUNK=65536 SEALED=65552
printf 'correct horse battery\n' >pw
printf 'correct horse batterz\n' >wrong
enc() { "$VRT" encrypt --iter 1000 --pass-file pw "$@"; }
dec() { "$VRT" decrypt --pass-file pw "$@"; }
# No output file and no temporary one beside it.
no_output() {  # no_output NAME WHAT
  [ ! -e "$1" ] || fail "$2: $1 was left behind"
  ! ls -A | grep -q "^\.$1\." || fail "$2: a temporary file of $1 was left behind"
}
# Decryption of FILE must fail with exit 1 and leave nothing.
refused() {  # refused FILE WHAT
  rm -f plain
  expect_rc 1 "$2" dec -o plain "$1"
  no_output plain "$2"
}
flip() {  # flip FILE OFFSET [MASK]: XOR one byte
  local b
  b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\$(printf '%03o' $((b ^ ${3:-1})))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# Round trips: empty, one byte, around one chunk, several chunks; the size is
# the header, the data and a tag per chunk (one for an empty file).
for len in 0 1 $((CHUNK - 1)) $CHUNK $((CHUNK + 1)) $((3 * CHUNK)) $((3 * CHUNK + 1000)); do
  head -c "$len" /dev/urandom >in
  rm -f in.enc plain
  expect_rc 0 "encrypt $len bytes" enc -o in.enc in
  chunks=$(((len + CHUNK - 1) / CHUNK)); [ "$chunks" -eq 0 ] && chunks=1
  [ "$(stat -c %s in.enc)" -eq $((HEADER + len + TAG * chunks)) ] || fail "size of $len bytes encrypted"
  expect_rc 0 "decrypt $len bytes" dec -o plain in.enc
  cmp -s in plain || fail "round trip of $len bytes"
done

# The header: magic, version, key derivation, the iteration count asked for;
# a fresh salt and nonce every time.
head -c 1000 /dev/urandom >in
enc --iter 4660 -o a.enc in && enc -o b.enc in
[ "$(hex_of a.enc | head -c 28)" = 5652544352595054010100001234 ] || fail "header fields: $(hex_of a.enc | head -c 28)"
[ "$(head -c $HEADER a.enc | tail -c 43 | od -An -tx1)" != "$(head -c $HEADER b.enc | tail -c 43 | od -An -tx1)" ] ||
  fail "two encryptions share salt and nonce"
(( $(od -An -tu1 -j 46 -N1 a.enc) < 128 )) || fail "the nonce's top bit is set"

# The standard streams, with - and without operands.
head -c 70000 /dev/urandom >in
enc <in >s.enc || fail "encrypt from standard input to standard output"
dec <s.enc >plain && cmp -s in plain || fail "decrypt standard input to standard output"
enc -o - - <in | dec - -o - >plain && cmp -s in plain || fail "the streams named -"
cat in | enc | cat >p.enc && cat p.enc | dec | cmp -s in - || fail "pipes both ways"

# The password: the first line of the file, without a CR; empty refused.
printf 'correct horse battery\r\nsecond line\n' >pw2
"$VRT" decrypt --pass-file pw2 -o plain s.enc && cmp -s in plain || fail "first line of a CRLF password file"
printf 'correct horse battery' >pw3
"$VRT" decrypt --pass-file=pw3 -o plain s.enc && cmp -s in plain || fail "password file without a newline"
printf '\nsecret\n' >empty_pw
rm -f x.enc
expect_rc 1 "empty password" "$VRT" encrypt --iter 1000 --pass-file empty_pw -o x.enc in
no_output x.enc "empty password"
grep -q "empty" err || fail "empty password message: $(cat err)"
expect_rc 1 "missing password file" "$VRT" encrypt --pass-file nowhere -o x.enc in
no_output x.enc "missing password file"

# A wrong password is refused with a clear message; an existing OUT is kept.
rm -f plain
expect_rc 1 "wrong password" "$VRT" decrypt --pass-file wrong -o plain s.enc
no_output plain "wrong password"
grep -q "wrong password" err || fail "wrong-password message: $(cat err)"
echo keep >kept
expect_rc 1 "wrong password over an existing file" "$VRT" decrypt --pass-file wrong -o kept s.enc
[ "$(cat kept)" = keep ] || fail "a failed decryption changed the existing output file"

# Every byte of a small file changed in turn (the top bit of the nonce's
# first byte too) is refused, with nothing left behind.
head -c 40 /dev/urandom >small
enc -o small.enc small
size=$(stat -c %s small.enc)
for ((i = 0; i < size; i++)); do
  cp small.enc t.enc
  mask=1; [ "$i" -eq 46 ] && mask=128
  flip t.enc "$i" "$mask"
  rm -f plain
  dec -o plain t.enc >/dev/null 2>&1; rc=$?
  [ "$rc" -eq 1 ] || fail "byte $i changed: exit $rc"
  [ ! -e plain ] || fail "byte $i changed: output left behind"
done
! ls -A | grep -q '^\.plain\.' || fail "a temporary file was left behind by the flip loop"
cp small.enc t.enc && printf x >>t.enc && refused t.enc "a byte appended"

# Four chunks, the last one short: change the edges of each chunk, drop,
# repeat or swap chunks, cut the file at every chunk boundary and inside.
head -c $((3 * CHUNK + 500)) /dev/urandom >big
enc -o big.enc big
for i in 0 1 2 3; do tail -c +$((HEADER + i * SEALED + 1)) big.enc | head -c $SEALED >c$i; done
head -c $HEADER big.enc >hdr
cat hdr c0 c1 c2 c3 | cmp -s - big.enc || fail "splitting the file into its chunks"
for i in 0 1 2; do
  for off in $((HEADER + i * SEALED)) $((HEADER + (i + 1) * SEALED - 1)); do
    cp big.enc t.enc && flip t.enc "$off" && refused t.enc "byte $off (chunk $i) changed"
  done
done
cp big.enc t.enc && flip t.enc $(($(stat -c %s big.enc) - 1)) && refused t.enc "the last byte changed"
cat hdr c0 c2 c3 >t.enc && refused t.enc "chunk 1 dropped"
cat hdr c0 c1 c2 >t.enc && refused t.enc "the last chunk dropped"
cat hdr c1 c2 c3 >t.enc && refused t.enc "chunk 0 dropped"
cat hdr c0 c2 c1 c3 >t.enc && refused t.enc "chunks 1 and 2 swapped"
cat hdr c0 c1 c1 c2 c3 >t.enc && refused t.enc "chunk 1 repeated"
cat hdr c0 c1 c2 c3 c3 >t.enc && refused t.enc "the last chunk repeated"
grep -q "chunk 3 does not" err || fail "the failing chunk is named: $(cat err)"
for cut in 0 8 $((HEADER - 1)) $HEADER $((HEADER + 1)) $((HEADER + SEALED)) $((HEADER + 2 * SEALED)) \
  $((HEADER + 3 * SEALED)) $((HEADER + 3 * SEALED + 100)) $(($(stat -c %s big.enc) - 1)); do
  head -c "$cut" big.enc >t.enc && refused t.enc "cut after $cut bytes"
done
grep -q "cut short" err || fail "truncation message: $(cat err)"
# Exactly one chunk: an empty chunk after it is refused.
head -c $CHUNK /dev/urandom >one && enc -o one.enc one
cp one.enc t.enc && tail -c $TAG one.enc >>t.enc && refused t.enc "an empty chunk after a full one"
# Another file's chunk under the same password does not fit.
enc -o big2.enc big
tail -c +$((HEADER + SEALED + 1)) big2.enc | head -c $SEALED >d1
cat hdr c0 d1 c2 c3 >t.enc && refused t.enc "a chunk of another file"

# To standard output each chunk comes out once it has authenticated: a
# damaged last chunk fails after the first three.
cat hdr c0 c1 c2 >t.enc
dec t.enc >partial 2>/dev/null && fail "a cut file decrypted to standard output"
[ "$(stat -c %s partial)" -eq $((2 * CHUNK)) ] && cmp -s partial <(head -c $((2 * CHUNK)) big) ||
  fail "standard output holds the chunks before the damage ($(stat -c %s partial) bytes)"

# A decryption stopped by a signal midway leaves no temporary file: the input
# is a pipe that stalls after two chunks.
mkfifo fifo
"$VRT" decrypt --pass-file pw -o sig.out fifo 2>/dev/null &
pid=$!
exec 3>fifo
cat hdr c0 c1 >&3
for ((w = 0; w < 100; w++)); do ls -A | grep -q '^\.sig\.out\.' && break; sleep 0.05; done
ls -A | grep -q '^\.sig\.out\.' || fail "no temporary file while decrypting"
sleep 0.2
kill -TERM "$pid"
wait "$pid"
exec 3>&-
no_output sig.out "decryption ended by a signal"

# Hostile and foreign headers are refused before any work.
hdr_with() {  # hdr_with OFFSET HEXBYTES: the small file with bytes replaced
  cp small.enc t.enc
  unhex "$2" | dd of=t.enc bs=1 seek="$1" conv=notrunc status=none
}
hdr_with 10 00989681 && refused t.enc "10000001 iterations"
grep -q "iteration count" err || fail "iteration ceiling message: $(cat err)"
hdr_with 10 ffffffff && refused t.enc "2^32-1 iterations"
hdr_with 10 000003e7 && refused t.enc "999 iterations"
hdr_with 8 02 && refused t.enc "format version 2"
grep -q "version" err || fail "version message: $(cat err)"
hdr_with 9 02 && refused t.enc "key derivation 2"
hdr_with 0 00 && refused t.enc "another magic"
grep -q "not a file of vrt encrypt" err || fail "magic message: $(cat err)"
printf 'hello\n' >t.enc && refused t.enc "a text file"
: >t.enc && refused t.enc "an empty file"
head -c $HEADER small.enc >t.enc && refused t.enc "the header alone"
grep -q "no data after the header" err || fail "header-only message: $(cat err)"
# The ceiling is refused without the password being asked for.
hdr_with 10 ffffffff
expect_rc 1 "ceiling with no password source" setsid -w "$VRT" decrypt t.enc </dev/null

# The password asked for on a terminal, without echo: twice to encrypt
# (they must match), once to decrypt.
if command -v python3 >/dev/null; then
  ask() { python3 "$here/pty_answer.py" "$@"; }
  ask 'typed secret' 'typed secret' -- "$VRT" encrypt --iter 1000 -o typed.enc small >shown ||
    fail "encrypt with a typed password: $(cat shown)"
  grep -q "Password again:" shown || fail "no second prompt: $(cat shown)"
  ! grep -q "typed secret" shown || fail "the typed password was echoed"
  rm -f plain
  ask 'typed secret' -- "$VRT" decrypt -o plain typed.enc >shown && cmp -s small plain ||
    fail "decrypt with a typed password: $(cat shown)"
  ask 'typed secret' 'typed secreT' -- "$VRT" encrypt --iter 1000 -o typed2.enc small >shown &&
    fail "passwords that differ accepted"
  grep -q "do not match" shown || fail "mismatch message: $(cat shown)"
  no_output typed2.enc "passwords that differ"
  ask 'typed secreT' -- "$VRT" decrypt -o plain2 typed.enc >shown && fail "a wrong typed password accepted"
  no_output plain2 "a wrong typed password"
fi

# Without --pass-file and no terminal: a clear refusal.
expect_rc 1 "no terminal" setsid -w "$VRT" encrypt --iter 1000 -o x.enc small </dev/null
grep -q "pass-file" err || fail "no-terminal message: $(cat err)"
no_output x.enc "no terminal"

# A progress line on a terminal's standard error for inputs over 4 MiB, and
# none elsewhere.
head -c $((5 << 20)) /dev/zero >five
if script -qec "true" /dev/null >/dev/null 2>&1; then
  script -qec "'$VRT' encrypt --iter 1000 --pass-file pw -o five.enc five" /dev/null >typescript
  grep -q "encrypting" typescript || fail "no progress line on a terminal"
fi
enc -o five.enc five 2>err2
[ ! -s err2 ] || fail "progress without a terminal: $(cat err2)"
dec -o five.out five.enc && cmp -s five five.out || fail "round trip of 5 MiB"

# Usage errors.
expect_rc 2 "--iter below 1000" enc --iter 999 -o x.enc small
expect_rc 2 "--iter above the ceiling" "$VRT" encrypt --iter 10000001 --pass-file pw -o x.enc small
expect_rc 2 "--iter not a number" "$VRT" encrypt --iter 1e6 --pass-file pw -o x.enc small
expect_rc 2 "--iter on decrypt" "$VRT" decrypt --iter 1000 --pass-file pw small.enc
expect_rc 2 "two inputs" dec small.enc small.enc
expect_rc 2 "password and input both standard input" "$VRT" decrypt --pass-file - <small.enc
expect_rc 2 "unknown option" dec --armor small.enc
rm -f plain
expect_rc 1 "missing input" dec -o plain nowhere.enc
no_output plain "missing input"
expect_rc 0 "encrypt --help" "$VRT" encrypt --help
grep -q -- "--iter" out && grep -q "500000" out || fail "encrypt --help lists --iter and its default"
expect_rc 0 "decrypt --help" "$VRT" decrypt --help
grep -q "chunk by chunk" out && grep -q "10000000" out || fail "decrypt --help: streamed output and the ceiling"
"$VRT" --help | grep -q "encrypt" || fail "vrt --help lists encrypt"

finish "vrt encrypt/decrypt"
