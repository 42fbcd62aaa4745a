#!/usr/bin/env bash
# Throughput of a download through the whole download library (register, schedule, Available) next to curl's:
# both fetch the same file from the same local nginx, in the same run, into files on the same disk.
#   tools/bench/fetchwell-bench.sh [size in MiB, default 512] [rounds, default 3]
set -euo pipefail
BENCH_TARGET=fetchwell_bench
source "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"
best_curl=0
best_library=0
for round in $(seq 1 "$ROUNDS"); do
  rm -f "$WORK/curl.bin" "$WORK/library.bin"
  curl_bps=$(curl -s -o "$WORK/curl.bin" -w '%{speed_download}' "$url")
  curl_bps=${curl_bps%.*}
  line=$(wine "$BUILD/bin/fetchwell_bench.exe" "$url" "Z:$WORK/library.bin" | tr -d '\r')
  library_bps=$(sed -n 's/.*bytes=\([0-9]*\) seconds=\([0-9.]*\).*/\1 \2/p' <<<"$line" | awk '{ printf "%d", $1 / $2 }')
  cmp -s "$WORK/www/big.bin" "$WORK/curl.bin" || { echo "curl's copy differs" >&2; exit 1; }
  cmp -s "$WORK/www/big.bin" "$WORK/library.bin" || { echo "the library's copy differs" >&2; exit 1; }
  awk -v r="$round" -v c="$curl_bps" -v n="$library_bps" \
    'BEGIN { printf "round %d: curl %8.1f MiB/s   library %8.1f MiB/s\n", r, c / 1048576, n / 1048576 }'
  [ "$curl_bps" -gt "$best_curl" ] && best_curl=$curl_bps
  [ "$library_bps" -gt "$best_library" ] && best_library=$library_bps
done
awk -v r="$ROUNDS" -v c="$best_curl" -v n="$best_library" \
  'BEGIN { printf "best of %d: curl %.1f MiB/s, library %.1f MiB/s, library/curl = %.1f %%\n", r, c / 1048576, n / 1048576, 100 * n / c }'
