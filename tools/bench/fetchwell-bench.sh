#!/usr/bin/env bash
# Throughput of a download through the whole download library (register, schedule, Available) next to curl's and
# to a minimal synchronous WinHTTP loop's (the ceiling of the system's WinHTTP): all fetch the same file from the
# same local nginx, in the same run, into files on the same disk.
#   tools/bench/fetchwell-bench.sh [size in MiB, default 512] [rounds, default 3]
set -euo pipefail
BENCH_TARGET="fetchwell_bench NetworkBench"
source "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"
curls=()
libraries=()
plains=()
for round in $(seq 1 "$ROUNDS"); do
  rm -f "$WORK/curl.bin" "$WORK/library.bin" "$WORK/plain.bin"
  curl_bps=$(curl -s -o "$WORK/curl.bin" -w '%{speed_download}' "$url")
  curl_bps=${curl_bps%.*}
  line=$(wine "$BUILD/bin/fetchwell_bench.exe" "$url" "Z:$WORK/library.bin" 2>/dev/null | tr -d '\r')
  library_bps=$(sed -n 's/.*bytes=\([0-9]*\) seconds=\([0-9.]*\).*/\1 \2/p' <<<"$line" | awk '{ printf "%d", $1 / $2 }')
  plain_bps=$(plain_winhttp "$WORK/plain.bin")
  for copy in curl library plain; do
    cmp -s "$WORK/www/big.bin" "$WORK/$copy.bin" || { echo "the $copy copy differs" >&2; exit 1; }
  done
  awk -v r="$round" -v c="$curl_bps" -v n="$library_bps" -v p="$plain_bps" \
    'BEGIN { printf "round %d: curl %8.1f MiB/s   library %8.1f MiB/s   plain WinHTTP %8.1f MiB/s\n", r, c / 1048576, n / 1048576, p / 1048576 }'
  curls+=("$curl_bps")
  libraries+=("$library_bps")
  plains+=("$plain_bps")
done
echo "of $ROUNDS rounds:"
echo "  curl           $(summary "${curls[@]}")"
echo "  library        $(summary "${libraries[@]}")"
echo "  plain WinHTTP  $(summary "${plains[@]}")"
echo "  library/plain WinHTTP: $(ratio "${libraries[*]}" "${plains[*]}")"
echo "  library/curl:          $(ratio "${libraries[*]}" "${curls[*]}")"
