#!/usr/bin/env bash
# Builds installer.exe and performs a real installation of the demo product under Wine, against local servers:
#
#   tools/run.sh [--auto] [installer.exe arguments...]
#
# A local HTTP server on 127.0.0.1 serves the demo configuration, the splash images and the demo product's
# installer, and receives the statistics events. installer.exe shows its window on $DISPLAY (on a private Xvfb
# when no display is set); press Install, or give --auto to have it pressed through the window tool. A screenshot
# of the window is saved (the path is printed). The exit code is installer.exe's.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(realpath -m "${NETSETTER_BUILD_DIR:-$ROOT/build}")"
cd "$ROOT"

auto=0
args=()
for arg in "$@"; do
  case "$arg" in
    --auto) auto=1 ;;
    *) args+=("$arg") ;;
  esac
done

tools/setup.sh
# A configured build folder is only brought up to date (the test run calls this script beside its own tests).
[ -f "$BUILD/build.ninja" ] || cmake --preset default -B "$BUILD" >/dev/null
# Only what the run needs: the installer with its libraries, the window tool and the demo product's installer.
cmake --build "$BUILD" --target installer netsetter-wintool NetsetterDemoSetup
tools/wine-prefix.sh "$BUILD/demo-prefix"

RUN="$BUILD/demo-run"
SERVER="$RUN/server"
export WINEPREFIX="$BUILD/demo-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY
PY=/usr/bin/python3

started=()
cleanup() {
  tools/testserver/control.sh stop "$SERVER" >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

rm -rf "$RUN"
mkdir -p "$SERVER/files/splash" "$RUN/logs"

# The window needs a display from the first Wine process on: a private Xvfb when none is set.
if [ -z "${DISPLAY:-}" ]; then
  source tools/xvfb.sh
  start_xvfb
  echo "[run] window on the private display $DISPLAY (see the screenshot below, or use --auto)"
fi

# Local server: configuration, images, the demo product installer, and the statistics endpoint.
port=$(tools/testserver/control.sh start "$SERVER" | $PY -c 'import json,sys; print(json.load(sys.stdin)["http"])')
base="http://127.0.0.1:$port"
sed "s#@BASE_URL@#$base#g" demo/config.json.in >"$SERVER/files/config.json"
demo/make-images.sh "$SERVER/files/splash"
cp "$BUILD/demo/NetsetterDemoSetup.exe" "$SERVER/files/NetsetterDemoSetup.exe"
$PY - "$base" <<'PY'
import sys, urllib.request
answer = b'[{"status": 200, "body": {"success": true, "disabled": false}}]'
urllib.request.urlopen(urllib.request.Request(sys.argv[1] + '/_control/script/demo-statistics', data=answer)).read()
PY
echo "[run] serving the demo configuration at $base/files/config.json"

# A fresh installation: no earlier demo product in this prefix.
wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Netsetter' /f >/dev/null 2>&1 || true

logs_win=$(winepath -w "$RUN/logs" 2>/dev/null)
wine "$BUILD/bin/installer.exe" "--config-url=$base/files/config.json" "--log-path=$logs_win" "${args[@]}" &
installer=$!

wintool() { wine "$BUILD/bin/netsetter-wintool.exe" "$@"; }
screenshot="$RUN/window.png"
if wintool --wait 120000 find 'class:Nolvaria Installer#34469' >/dev/null 2>&1; then
  sleep 2
  import -window root "$screenshot" 2>/dev/null && echo "[run] screenshot of the window: $screenshot"
  if [ "$auto" = 1 ]; then
    echo "[run] pressing Install"
    wintool --post click 'class:Nolvaria Installer#34469' >/dev/null || echo "[run] could not press Install" >&2
  fi
else
  echo "[run] the installer's start screen did not appear within 2 minutes" >&2
  import -window root "$screenshot" 2>/dev/null && echo "[run] screenshot of the display: $screenshot"
fi

code=0
wait "$installer" || code=$?
echo "installer.exe exited with code $code"

# What the installation left: the registration, the installed files and the statistics received.
if location=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Netsetter' /v InstallLocation 2>/dev/null |
              tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p') && [ -n "$location" ]; then
  folder=$(winepath -u "$location" 2>/dev/null)
  echo "[run] demo product installed in $location"
  [ -f "$folder/install-arguments.txt" ] && echo "[run] its installer received: $(tr -d '\r' <"$folder/install-arguments.txt" | paste -sd' ')"
else
  echo "[run] the demo product is not installed"
fi
$PY - "$base" <<'PY' || true
import json, sys, urllib.request
requests = json.load(urllib.request.urlopen(sys.argv[1] + '/_control/requests/demo-statistics'))
names = []
for request in requests:
    try:
        body = json.loads(request['body'])
    except ValueError:
        continue
    for event in (body.get('events') or []) if isinstance(body, dict) else []:
        if isinstance(event, dict):
            names.append(event.get('name', '?'))
print('[run] statistics events received by the local server: %d' % len(names))
if names:
    print('[run]   ' + ', '.join(names))
PY
echo "[run] installer log: $RUN/logs"
exit $code
