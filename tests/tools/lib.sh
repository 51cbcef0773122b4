# Shared pieces of the vrt tool tests; each *_test.sh sources this file with
# the tool's path as its first argument. Provides VRT, a scratch directory
# $dir (removed on exit, and the working directory), fail and expect_rc, and
# finish to end the script with the right status.
VRT=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
expect_rc() {  # expected-rc description command...
  local want=$1 what=$2; shift 2
  "$@" >"$dir/out" 2>"$dir/err"; local rc=$?
  [ "$rc" -eq "$want" ] || fail "$what: exit $rc, wanted $want ($(head -c 300 "$dir/err"))"
}
# True when openssl has the GOST provider (gostprov) loaded on demand.
have_gost_provider() {
  command -v openssl >/dev/null && openssl dgst -provider gostprov -md_gost12_256 /dev/null >/dev/null 2>&1
}
# True when openssl has the GOST engine (keys, signatures and VKO).
have_gost_engine() {
  command -v openssl >/dev/null &&
    openssl genpkey -engine gost -algorithm gost2012_256 -pkeyopt paramset:A >/dev/null 2>&1
}
# Lower-case hex of a file, and bytes from hex.
hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }
unhex() { printf '%b' "$(printf '%s' "$1" | sed 's/../\\x&/g')"; }
finish() {  # finish NAME
  [ "$fails" -eq 0 ] && echo "$1: all checks passed"
  exit $((fails > 0))
}
cd "$dir" || exit 1
