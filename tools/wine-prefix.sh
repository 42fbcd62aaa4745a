#!/usr/bin/env bash
# Creates the project-local Wine prefix the tests run in, with a "Verdana" test font. Skips itself when done.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="$(realpath -m "${1:?usage: wine-prefix.sh PREFIX}")"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/.netsetter-ready" ] && exit 0
echo "[wine-prefix] creating $WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
cp "$ROOT/.deps/fonts/verdana.ttf" "$fonts/verdana.ttf"
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Verdana (TrueType)' /t REG_SZ /d verdana.ttf /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Verdana /t REG_SZ /d 'DejaVu Sans' /f >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.netsetter-ready"
