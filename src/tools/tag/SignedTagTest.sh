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

# Only "clear" removes a tag: empty tags, empty files and device names are refused and change nothing.
tag set "Z:$WORK/tagged.exe" '{"browser":"E"}' >/dev/null || fail "set before the refusals"
cp tagged.exe before.exe
: > empty.json
for args in "set-file|Z:$WORK/tagged.exe|Z:$WORK/empty.json" "set|Z:$WORK/tagged.exe|" "set-file|Z:$WORK/tagged.exe|NUL" \
            "set-file|Z:$WORK/tagged.exe|CON" "set-file|Z:$WORK/tagged.exe|Z:$WORK"; do
  IFS='|' read -r command file value <<<"$args"
  if tag "$command" "$file" "$value" >/dev/null </dev/null; then fail "$command with '$value' exited 0"; fi
  cmp before.exe tagged.exe >/dev/null || fail "$command with '$value' changed the file"
done

# A security directory over the headers, or reaching past the end of the file, is refused; the file stays whole.
for damage in headers outside; do
  cp tagged.exe damaged.exe
  /usr/bin/python3 - damaged.exe "$damage" <<'PY'
import struct, sys
path, damage = sys.argv[1], sys.argv[2]
data = bytearray(open(path, 'rb').read())
pe = struct.unpack_from('<I', data, 0x3c)[0]
optional = pe + 24
directories = optional + (96 if struct.unpack_from('<H', data, optional)[0] == 0x10b else 112)
offset, size = (0x40, len(data) - 0x40) if damage == 'headers' else (len(data) - 8, 64)
struct.pack_into('<II', data, directories + 4 * 8, offset, size)
open(path, 'wb').write(data)
PY
  cp damaged.exe damaged-before.exe
  if tag set "Z:$WORK/damaged.exe" '{"a":"b"}' >/dev/null; then fail "a file with its table $damage was tagged"; fi
  cmp damaged-before.exe damaged.exe >/dev/null || fail "a refused file with its table $damage was changed"
  [ -z "$(tag show "Z:$WORK/damaged.exe")" ] || fail "a tag was read from a table $damage"
done
echo "signed tag test passed"
