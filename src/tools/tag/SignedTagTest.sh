#!/usr/bin/env bash
# Signs installer.exe with a certificate made here, tags it with netsetter-tag and checks that the signature stays
# valid and that the tag reads back; replacing and clearing too; refusals for unsigned files and bad tags.
# Usage: SignedTagTest.sh <installer.exe> <netsetter-tag.exe>
set -euo pipefail
INSTALLER="$1"
TOOL="$2"
WINE_RUN="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/tools/wine-run.sh"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

fail() { echo "FAIL: $*" >&2; exit 1; }
tag() { "$WINE_RUN" "$TOOL" "$@" 2>&1 | tr -d '\r'; }
verify() { osslsigncode verify -CAfile cert.pem -in "$1" >verify.log 2>&1 || { cat verify.log; fail "signature of $1 rejected"; }; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Netsetter Test Signer" \
  >/dev/null 2>&1
osslsigncode sign -certs cert.pem -key key.pem -n "Netsetter" -h sha256 -in "$INSTALLER" -out signed.exe >/dev/null
verify signed.exe
[ -z "$(tag show "Z:$WORK/signed.exe")" ] || fail "a freshly signed file has a tag"

cp signed.exe tagged.exe
TAG='{"browser":"C","config_url":"https://config.netsetter.example/release/config.json","webuid":"Пользователь-42"}'
tag set "Z:$WORK/tagged.exe" "$TAG" >/dev/null || fail "set"
verify tagged.exe
[ "$(tag show "Z:$WORK/tagged.exe")" = "$TAG" ] || fail "the tag did not read back: $(tag show "Z:$WORK/tagged.exe")"
cmp -n "$(stat -c %s signed.exe)" signed.exe tagged.exe >/dev/null 2>&1 && fail "the tag did not change the file"

SHORTER='{"webuid":"x"}'
tag set "Z:$WORK/tagged.exe" "$SHORTER" >/dev/null || fail "replace"
verify tagged.exe
[ "$(tag show "Z:$WORK/tagged.exe")" = "$SHORTER" ] || fail "the replaced tag did not read back"

printf '%s' '{"browser":"E"}' > tag.json
tag set-file "Z:$WORK/tagged.exe" "Z:$WORK/tag.json" >/dev/null || fail "set-file"
[ "$(tag show "Z:$WORK/tagged.exe")" = '{"browser":"E"}' ] || fail "the tag from a file did not read back"

tag clear "Z:$WORK/tagged.exe" >/dev/null || fail "clear"
verify tagged.exe
[ -z "$(tag show "Z:$WORK/tagged.exe")" ] || fail "the cleared tag still reads"
cmp signed.exe tagged.exe >/dev/null || fail "clearing did not restore the signed file"

cp "$INSTALLER" unsigned.exe
if tag set "Z:$WORK/unsigned.exe" '{"a":"b"}' >/dev/null; then fail "an unsigned file was tagged"; fi
cmp "$INSTALLER" unsigned.exe >/dev/null || fail "a refused tag changed the file"
if tag set "Z:$WORK/tagged.exe" '[1]' >/dev/null; then fail "a tag that is no JSON object was stored"; fi
BIG="{\"a\":\"$(head -c 70000 /dev/zero | tr '\0' 'x')\"}"
printf '%s' "$BIG" > big.json
if tag set-file "Z:$WORK/tagged.exe" "Z:$WORK/big.json" >/dev/null; then fail "an oversized tag was stored"; fi
verify tagged.exe
echo "signed tag test passed"
