#!/usr/bin/env bash
# Builds the release configuration, installs the deployable folder and prints the size of every shipped file.
#   tools/bench/size.sh [deploy folder, default build-release/deploy]
# Uses NETSETTER_BUILD_DIR (default build-release) for the build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(realpath -m "${NETSETTER_BUILD_DIR:-$ROOT/build-release}")"
DEPLOY="$(realpath -m "${1:-$BUILD/deploy}")"
cd "$ROOT"
tools/setup.sh >/dev/null
cmake --preset release -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target installer Fetchwell Tallivo >/dev/null
rm -rf "$DEPLOY"
cmake --install "$BUILD" --prefix "$DEPLOY" >/dev/null

line() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%-22s %10d  (%.2f MB)\n", n, s, s / 1000000 }'; }
modules=0
total=0
printf '%-22s %10s\n' file bytes
for f in installer.exe Fetchwell.dll Tallivo.dll; do
  size=$(stat -c %s "$DEPLOY/$f")
  line "$f" "$size"
  modules=$((modules + size))
done
for f in $(ls "$DEPLOY" | sort); do
  case "$f" in installer.exe|Fetchwell.dll|Tallivo.dll) continue ;; esac
  size=$(stat -c %s "$DEPLOY/$f")
  line "$f" "$size"
  total=$((total + size))
done
total=$((total + modules))
line "modules" "$modules"
line "shipped" "$total"
