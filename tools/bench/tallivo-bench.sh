#!/usr/bin/env bash
# Statistics storage and sending: events stored per second (1,000 and 10,000 in a row into an empty folder) and
# the time to send a backlog of 1,000 events in batches of 10 to a local nginx that answers at once.
# Prints min, median and max of the rounds, and for reference the bare Win32 file steps of storing (create, write,
# close, rename) under Wine, which bound what any Windows program reaches here, and the same steps natively on Linux.
# The folders live in memory (/dev/shm) unless NETSETTER_BENCH_FOLDER names another place: a virtual machine's disk
# swings tenfold from minute to minute and would drown the program's own cost.
#   tools/bench/tallivo-bench.sh [rounds, default 3]
# Uses NETSETTER_BUILD_DIR (default build-bench) for the build and its Wine prefix.
set -euo pipefail
BENCH_TARGET=TallivoBench
BENCH_SERVE=stat
source "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"

FOLDERS="${NETSETTER_BENCH_FOLDER:-}"
if [ -z "$FOLDERS" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then FOLDERS="$(mktemp -d /dev/shm/netsetter-tallivo-bench.XXXXXX)"; else FOLDERS="$WORK"; fi
  trap 'cleanup; rm -rf "$FOLDERS"' EXIT
fi

run() {  # mode events [url]: prints the field the mode reports
  local folder="$FOLDERS/events-$RANDOM$RANDOM"
  local out
  out=$(wine "$BUILD/bin/TallivoBench.exe" "$1" "Z:$folder" "${@:2}" 2>"$WORK/bench-stderr.txt" | tr -d '\r')
  rm -rf "$folder"
  case "$1" in
    store|bare) sed -n 's/.*events_per_second=\([0-9.]*\).*/\1/p' <<<"$out" ;;
    send) sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out" ;;
  esac
}
spread() {  # label unit values...: min, median, max
  local label="$1" unit="$2"; shift 2
  printf '%s\n' "$@" | sort -g | awk -v l="$label" -v u="$unit" '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%-34s min %9.2f   median %9.2f   max %9.2f %s\n", l, v[1], m, v[NR], u }'
}
native() {  # events/s of the bare file steps, natively
  local folder="$FOLDERS/native-$RANDOM$RANDOM"
  mkdir -p "$folder"
  /usr/bin/python3 - "$folder" <<'PY'
import os, sys, time
folder = sys.argv[1]
start = time.monotonic()
for i in range(1000):
    temporary = os.path.join(folder, "%d.json.tmp" % i)
    fd = os.open(temporary, os.O_CREAT | os.O_EXCL | os.O_WRONLY)
    os.write(fd, b'{"name":"bench_event","params":{"index":"%d"}}' % i)
    os.close(fd)
    os.stat(temporary)
    os.rename(temporary, os.path.join(folder, "%d.json" % i))
print("%.0f" % (1000 / (time.monotonic() - start)))
PY
  rm -rf "$folder"
}
store1k=() store10k=() send1k=() bare1k=() bare10k=() native1k=()
for round in $(seq 1 "$ROUNDS"); do
  store1k+=("$(run store 1000)")
  store10k+=("$(run store 10000)")
  send1k+=("$(run send 1000 "http://127.0.0.1:$port/stat")")
  bare1k+=("$(run bare 1000)")
  bare10k+=("$(run bare 10000)")
  native1k+=("$(native)")
  echo "round $round: store 1,000: ${store1k[-1]} events/s   store 10,000: ${store10k[-1]} events/s   send 1,000: ${send1k[-1]} s" \
    "  bare Win32 1,000: ${bare1k[-1]} /s   10,000: ${bare10k[-1]} /s   native: ${native1k[-1]} /s"
done
echo "in $FOLDERS:"
spread "stored, 1,000 events in a row" "events/s" "${store1k[@]}"
spread "stored, 10,000 events in a row" "events/s" "${store10k[@]}"
spread "sent, backlog of 1,000 events" "s" "${send1k[@]}"
spread "bare Win32 file steps, 1,000" "files/s" "${bare1k[@]}"
spread "bare Win32 file steps, 10,000" "files/s" "${bare10k[@]}"
spread "native Linux file steps, 1,000" "files/s" "${native1k[@]}"
