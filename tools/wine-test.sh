#!/usr/bin/env bash
# ctest's emulator: runs a test program through wine-run.sh and passes its output on once the program has ended.
# Wine processes that a test starts in the background inherit its standard output; were that ctest's pipe, ctest
# would wait for them long after the test program itself had ended.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$(mktemp)" err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
"$here/wine-run.sh" "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"
cat "$err" >&2
exit "$rc"
