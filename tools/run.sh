#!/usr/bin/env bash
# Sets up, builds and starts installer.exe under Wine: tools/run.sh [installer arguments...]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
tools/wine-prefix.sh build/wineprefix
export WINEPREFIX="$ROOT/build/wineprefix"
code=0
tools/wine-run.sh build/bin/installer.exe "$@" || code=$?
echo "installer.exe exited with code $code"
exit $code
