#!/usr/bin/env bash
# Start-up speed and memory of installer.exe side by side with an empty window, in one run, under Wine, on one
# display:
#   tools/bench/startup-bench.sh [rounds, default 7]
#
# First frame: the time from starting a program to its first painted frame, seen from outside on the X display
# (firstframe.py notes the time before it starts the program, then reads the window's pixels with XGetImage until
# they show the frame). Measured for installer.exe's spinner view, and for EmptyWindow.exe, a popup of the same size
# painted white with GDI (the reference) and with Direct2D (the splash's way of drawing). Each round runs the three
# in turn, after one warm-up round that is not counted; min, median and max are printed.
# Where the time goes, median of the rounds, each from the start: the process started (its first module is
# loaded), its modules are loaded (the last DLL of its import tables, from Wine's module trace), its window was
# created (viewable on the display), its first frame was seen.
# Memory: tools/run.sh --auto installs the demo product while peakmem.py samples the installer's Linux process
# every 10 ms: peak private memory (anonymous resident plus swapped out) and peak resident size. The private
# memory of each program at its first frame is printed too.
# Both are of the shipping build: the first frames of the release preset's deployable folder
# (build-release/deploy), the demo installation of tools/run.sh run on the release build folder. Wine reads the
# sections of the modules into private memory, so the part in the modules' images is printed apart.
# Starts a private Xvfb (1920x1080, 24-bit) when DISPLAY is unset.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
ROUNDS="${1:-7}"
cd "$ROOT"
PY=/usr/bin/python3
BENCH="$ROOT/tools/bench"
RELEASE="$ROOT/build-release"
DEPLOY="$RELEASE/deploy"
PREFIX="$ROOT/build/bench-prefix"

tools/setup.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target installer Fetchwell Tallivo EmptyWindow >/dev/null
rm -rf "$DEPLOY"
cmake --install "$RELEASE" --prefix "$DEPLOY" >/dev/null
# What tools/run.sh runs, built now, so that it finds nothing left to build while it is measured.
cmake --build --preset release --target netsetter-wintool NetsetterDemoSetup >/dev/null
tools/wine-prefix.sh "$PREFIX" >/dev/null
export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY

WORK="$(mktemp -d /tmp/netsetter-startup.XXXXXX)"
started=()
cleanup() {
  tools/testserver/control.sh stop "$WORK/server" >/dev/null 2>&1 || true
  WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# The display must exist before the first Wine process of the prefix.
if [ -z "${DISPLAY:-}" ]; then
  source tools/xvfb.sh
  start_xvfb
fi
echo "display $DISPLAY, $ROUNDS rounds"

# A warm wineserver, as a user's session has; both programs start against it alike.
wineserver -f -p >/dev/null 2>&1 &
started+=($!)
sleep 0.3
wine cmd /c exit >/dev/null 2>&1 || true

# The installer gets the run command's arguments: the demo configuration from a local server, and a log folder.
mkdir -p "$WORK/server/files" "$WORK/logs"
port=$(tools/testserver/control.sh start "$WORK/server" | $PY -c 'import json,sys; print(json.load(sys.stdin)["http"])')
sed "s#@BASE_URL@#http://127.0.0.1:$port#g" demo/config.json.in >"$WORK/server/files/config.json"
logs_win=$(winepath -w "$WORK/logs" 2>/dev/null)
users="$PREFIX/drive_c/users"

# Each start of installer.exe is a first start: no working folders or stored statistics events of earlier rounds.
forget_runs() {
  rm -rf "$users"/*/AppData/Local/Temp/Netsetter-*
  find "$users" -maxdepth 6 -type d -name EventsStorage -prune -exec rm -rf {} + 2>/dev/null || true
}

frame() {  # name, title, expected frame, program and arguments; appends "painted mapped private started loaded"
           # to $WORK/<name>
  local name="$1" title="$2" expect="$3"
  shift 3
  local line
  # Under Wine a start now and then dies early (Direct3D over the software renderer): one more try.
  if ! line=$($PY "$BENCH/firstframe.py" --title "$title" --expect "$expect" -- wine "$@") &&
     ! line=$($PY "$BENCH/firstframe.py" --title "$title" --expect "$expect" -- wine "$@"); then
    echo "no first frame of $name" >&2
    exit 1
  fi
  echo "$line" | sed -n 's/started_ms=\(-*[0-9]*\) loaded_ms=\(-*[0-9]*\) mapped_ms=\([0-9]*\) painted_ms=\([0-9]*\) private_kib=\([0-9]*\).*/\4 \3 \5 \1 \2/p' \
    >>"$WORK/$name"
}

round() {
  forget_runs
  # The configuration answers after 5 s, as a distant server may: the spinner view is then the first frame for
  # certain (a local answer can bring the start screen before the spinner was ever painted).
  frame installer "Nolvaria Installer" spinner "$DEPLOY/installer.exe" \
    "--config-url=http://127.0.0.1:$port/files/config.json?delay=5000" "--log-path=$logs_win"
  frame empty "Empty Window" white "$RELEASE/bin/EmptyWindow.exe"
  frame direct2d "Empty Window" white "$RELEASE/bin/EmptyWindow.exe" --direct2d
}
last() { tail -n1 "$WORK/$1" | cut -d' ' -f1; }

round
rm -f "$WORK/installer" "$WORK/empty" "$WORK/direct2d"
for r in $(seq 1 "$ROUNDS"); do
  round
  printf 'round %d: installer.exe %5d ms   empty window %5d ms   empty window (Direct2D) %5d ms\n' \
    "$r" "$(last installer)" "$(last empty)" "$(last direct2d)"
done

medians='
    function median(a, n,   b, i, j, t) {
      for (i = 1; i <= n; i++) b[i] = a[i]
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (b[j] < b[i]) { t = b[i]; b[i] = b[j]; b[j] = t }
      return n % 2 ? b[(n + 1) / 2] : (b[n / 2] + b[n / 2 + 1]) / 2
    }'
summary() {  # file, label; prints min, median and max of the first frame and the median private memory
  sort -n "$1" | awk -v label="$2" "$medians"'
    { painted[NR] = $1; private[NR] = $3 }
    END { printf "%-26s %6d %7d %6d   %12.1f\n", label, painted[1], median(painted, NR), painted[NR],
                 median(private, NR) / 1024 }'
}
breakdown() {  # file, label; prints the median of each step (-1: the module trace did not tell)
  awk -v label="$2" "$medians"'
    { painted[NR] = $1; mapped[NR] = $2; started[NR] = $4; loaded[NR] = $5 }
    END { printf "%-26s %14d %15d %15d %12d\n", label, median(started, NR), median(loaded, NR),
                 median(mapped, NR), median(painted, NR) }' "$1"
}
median_of() { sort -n "$1" | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo
printf '%-26s %6s %7s %6s   %12s\n' "first frame (ms)" min median max "private MiB"
summary "$WORK/installer" installer.exe
summary "$WORK/empty" "empty window"
summary "$WORK/direct2d" "empty window (Direct2D)"
awk -v i="$(median_of "$WORK/installer")" -v e="$(median_of "$WORK/empty")" -v d="$(median_of "$WORK/direct2d")" \
  'BEGIN { printf "installer.exe / empty window: %.2f (goal: at most 1.3); / empty window (Direct2D): %.2f\n", i / e, i / d }'
echo
printf '%-26s %14s %15s %15s %12s\n' "where the time goes (ms)" "process start" "modules loaded" "window created" \
  "first frame"
breakdown "$WORK/installer" installer.exe
breakdown "$WORK/empty" "empty window"
breakdown "$WORK/direct2d" "empty window (Direct2D)"

echo
echo "peak memory of installer.exe during the demo installation (tools/run.sh --auto):"
set +e
NETSETTER_BUILD_DIR="$RELEASE" $PY "$BENCH/peakmem.py" --match installer.exe -- tools/run.sh --auto \
  >"$WORK/memory" 2>"$WORK/run.log"
code=$?
set -e
grep -E '^\[run\] demo product|^installer.exe exited' "$WORK/run.log" | sed 's/^/  /'
[ "$code" = 0 ] || { echo "  the run command failed (exit code $code): the figures below are not of a whole installation"; }
awk '/^peak_private_kib=/ {
       split($1, p, "="); split($2, m, "="); split($3, r, "="); split($4, s, "=")
       printf "  peak private memory %.1f MB (goal: at most 64 MB), peak resident %.1f MB, %d samples\n",
              p[2] * 1024 / 1e6, r[2] * 1024 / 1e6, s[2]
       printf "  of which %.1f MB are module images read into memory by Wine; without them %.1f MB\n",
              m[2] * 1024 / 1e6, (p[2] - m[2]) * 1024 / 1e6 }
     /^mapping / { printf "    %8.1f MB  %s\n", $2 * 1024 / 1e6, substr($0, index($0, $3)) }' "$WORK/memory"
