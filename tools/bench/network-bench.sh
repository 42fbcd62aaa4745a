#!/usr/bin/env bash
# Throughput of the networking client next to curl's: both download the same file from the same local nginx,
# in the same run, into files on the same disk. A minimal synchronous WinHTTP loop runs alongside as the ceiling
# of the system's WinHTTP (under Wine its 8 KiB reads bound every WinHTTP client).
#   tools/bench/network-bench.sh [size in MiB, default 512] [rounds, default 3]
set -euo pipefail
BENCH_TARGET=NetworkBench
source "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"
client() {  # output file; prints bytes per second
  wine "$BUILD/bin/NetworkBench.exe" "$url" "Z:$1" | tr -d '\r' | sed -n 's/.*bytes_per_second=\([0-9]*\).*/\1/p'
}
curls=()
clients=()
plains=()
for round in $(seq 1 "$ROUNDS"); do
  rm -f "$WORK/curl.bin" "$WORK/client.bin" "$WORK/plain.bin"
  curl_bps=$(curl -s -o "$WORK/curl.bin" -w '%{speed_download}' "$url")
  curl_bps=${curl_bps%.*}
  client_bps=$(client "$WORK/client.bin")
  plain_bps=$(plain_winhttp "$WORK/plain.bin")
  for copy in curl client plain; do
    cmp -s "$WORK/www/big.bin" "$WORK/$copy.bin" || { echo "the $copy copy differs" >&2; exit 1; }
  done
  awk -v r="$round" -v c="$curl_bps" -v n="$client_bps" -v p="$plain_bps" \
    'BEGIN { printf "round %d: curl %7.1f MiB/s   client %7.1f MiB/s   plain WinHTTP %7.1f MiB/s\n", r, c / 1048576, n / 1048576, p / 1048576 }'
  curls+=("$curl_bps")
  clients+=("$client_bps")
  plains+=("$plain_bps")
done
echo "of $ROUNDS rounds:"
echo "  curl           $(summary "${curls[@]}")"
echo "  client         $(summary "${clients[@]}")"
echo "  plain WinHTTP  $(summary "${plains[@]}")"
echo "  client/plain WinHTTP: $(ratio "${clients[*]}" "${plains[*]}")"
echo "  client/curl:          $(ratio "${clients[*]}" "${curls[*]}")"
