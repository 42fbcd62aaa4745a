#!/usr/bin/env bash
# installer.exe reads the publisher's tag from the signed distribution file named by --distrib-name: the tag's
# configuration URL wins over --config-url; a tag with a value of the wrong type is logged and changes nothing.
# Usage: TaggedStartupTest.sh <installer.exe> <netsetter-tag.exe>
set -euo pipefail
INSTALLER="$1"
TOOL="$2"
WINE_RUN="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/tools/wine-run.sh"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

fail() { echo "FAIL: $*" >&2; exit 1; }
tag() { "$WINE_RUN" "$TOOL" "$@" >/dev/null 2>&1; }
# Runs the installer with the distribution file $1 and logs into folder $2; prints its INFO log.
run() {
  mkdir -p "$2"
  "$WINE_RUN" "$INSTALLER" "--distrib-name=Z:$WORK/$1" "--config-url=http://127.0.0.1:9/from-command-line.json" \
    "--log-path=Z:$WORK/$2" >/dev/null 2>&1 || fail "installer.exe exited with $?"
  cat "$2"/*.log.INFO.* 2>/dev/null | tr -d '\r'
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Netsetter Test Signer" \
  >/dev/null 2>&1
osslsigncode sign -certs cert.pem -key key.pem -n "Netsetter" -h sha256 -in "$INSTALLER" -out signed.exe >/dev/null

cp signed.exe SetupE_tagged.exe
tag set "Z:$WORK/SetupE_tagged.exe" '{"config_url":"http://127.0.0.1:9/from-tag.json","browser":"C"}' || fail "tagging"
log="$(run SetupE_tagged.exe tagged-logs)"
grep -q "Config URL[a-z ]*: http://127.0.0.1:9/from-tag.json" <<<"$log" || { echo "$log"; fail "the tag's URL was not used"; }
grep -q "Failed to parse" <<<"$log" && { echo "$log"; fail "a good tag was reported as bad"; }

cp signed.exe SetupE_bad.exe
tag set "Z:$WORK/SetupE_bad.exe" '{"browser":"C","config_url":5}' || fail "tagging"
log="$(run SetupE_bad.exe bad-logs)"
grep -q "Failed to parse Signature Tag. " <<<"$log" || { echo "$log"; fail "the bad tag was not reported"; }
grep -q "Config URL[a-z ]*: http://127.0.0.1:9/from-command-line.json" <<<"$log" || \
  { echo "$log"; fail "the bad tag changed the configuration URL"; }
echo "tagged start-up test passed"
