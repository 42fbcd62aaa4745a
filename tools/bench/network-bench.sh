#!/usr/bin/env bash
# Throughput of the networking client next to curl's: both download the same file from the same local nginx,
# in the same run, into files on the same disk. A minimal synchronous WinHTTP loop runs alongside as the ceiling
# of the system's WinHTTP (under Wine its 8 KiB reads bound every WinHTTP client).
#   tools/bench/network-bench.sh [size in MiB, default 512] [rounds, default 3]
# Uses NETSETTER_BUILD_DIR (default build-bench) for the build and its Wine prefix.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(realpath -m "${NETSETTER_BUILD_DIR:-$ROOT/build-bench}")"
SIZE_MIB="${1:-512}"
ROUNDS="${2:-3}"
cd "$ROOT"

command -v nginx >/dev/null || { echo "nginx is missing: run tools/setup.sh" >&2; exit 1; }
tools/setup.sh >/dev/null
cmake --preset default -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target NetworkBench >/dev/null
tools/wine-prefix.sh "$BUILD/wineprefix" >/dev/null
export WINEPREFIX="$BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY

WORK="$(mktemp -d /tmp/netsetter-bench.XXXXXX)"
started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/www" "$WORK/nginx"
chmod 755 "$WORK" "$WORK/www"  # nginx's workers may run as an unprivileged user
echo "creating a ${SIZE_MIB} MiB file"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$WORK/www/big.bin"
chmod 644 "$WORK/www/big.bin"

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$WORK/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $WORK/nginx/body;
  proxy_temp_path $WORK/nginx/proxy;
  fastcgi_temp_path $WORK/nginx/fastcgi;
  uwsgi_temp_path $WORK/nginx/uwsgi;
  scgi_temp_path $WORK/nginx/scgi;
  server { listen 127.0.0.1:$port; root $WORK/www; }
}
CONF
nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" &
started+=($!)
wineserver -f -p >/dev/null 2>&1 &
started+=($!)
for _ in $(seq 1 50); do curl -s -o /dev/null "http://127.0.0.1:$port/big.bin" -r 0-0 && break; sleep 0.1; done
wine cmd /c exit >/dev/null 2>&1 || true

url="http://127.0.0.1:$port/big.bin"
bench() {  # output file, extra arguments; prints bytes per second
  wine "$BUILD/bin/NetworkBench.exe" "$url" "Z:$1" "${@:2}" | tr -d '\r' | sed -n 's/.*bytes_per_second=\([0-9]*\).*/\1/p'
}
best_curl=0
best_client=0
best_plain=0
for round in $(seq 1 "$ROUNDS"); do
  rm -f "$WORK/curl.bin" "$WORK/client.bin" "$WORK/plain.bin"
  curl_bps=$(curl -s -o "$WORK/curl.bin" -w '%{speed_download}' "$url")
  curl_bps=${curl_bps%.*}
  client_bps=$(bench "$WORK/client.bin")
  plain_bps=$(bench "$WORK/plain.bin" --plain-winhttp)
  for copy in curl client plain; do
    cmp -s "$WORK/www/big.bin" "$WORK/$copy.bin" || { echo "the $copy copy differs" >&2; exit 1; }
  done
  awk -v r="$round" -v c="$curl_bps" -v n="$client_bps" -v p="$plain_bps" \
    'BEGIN { printf "round %d: curl %7.1f MiB/s   client %7.1f MiB/s   plain WinHTTP %7.1f MiB/s\n", r, c / 1048576, n / 1048576, p / 1048576 }'
  [ "$curl_bps" -gt "$best_curl" ] && best_curl=$curl_bps
  [ "$client_bps" -gt "$best_client" ] && best_client=$client_bps
  [ "$plain_bps" -gt "$best_plain" ] && best_plain=$plain_bps
done
awk -v r="$ROUNDS" -v c="$best_curl" -v n="$best_client" -v p="$best_plain" 'BEGIN {
  printf "best of %d: curl %.1f MiB/s, client %.1f MiB/s, plain WinHTTP %.1f MiB/s\n", r, c / 1048576, n / 1048576, p / 1048576
  printf "client/curl = %.1f %%   client/plain WinHTTP = %.1f %%\n", 100 * n / c, 100 * n / p }'
