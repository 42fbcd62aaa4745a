# Shared by the benchmarks, sourced after setting BENCH_TARGET (the targets to build) and BENCH_SERVE:
#   file (the default): makes a random file of $1 MiB (default 512) and serves it from a local nginx at $url;
#     ROUNDS from $2 (default 3).
#   stat: a local nginx on $port answers every request as a statistics server that took the batch; ROUNDS from $1
#     (default 3).
# Builds the targets and keeps wineserver warm. Sets ROOT, BUILD, ROUNDS, WORK, port and (file) url.
# Uses NETSETTER_BUILD_DIR (default build-bench) for the build and its Wine prefix.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(realpath -m "${NETSETTER_BUILD_DIR:-$ROOT/build-bench}")"
BENCH_SERVE="${BENCH_SERVE:-file}"
if [ "$BENCH_SERVE" = file ]; then
  SIZE_MIB="${1:-512}"
  ROUNDS="${2:-3}"
else
  ROUNDS="${1:-3}"
fi
cd "$ROOT"

command -v nginx >/dev/null || { echo "nginx is missing: run tools/setup.sh" >&2; exit 1; }
tools/setup.sh >/dev/null
cmake --preset default -B "$BUILD" >/dev/null
# shellcheck disable=SC2086  # a list of targets
cmake --build "$BUILD" --target $BENCH_TARGET >/dev/null
tools/wine-prefix.sh "$BUILD/wineprefix" >/dev/null
export WINEPREFIX="$BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY

if [ "$BENCH_SERVE" = file ]; then
  WORK="$(mktemp -d /tmp/netsetter-bench.XXXXXX)"
else
  WORK="$(mktemp -d /tmp/netsetter-tallivo-bench.XXXXXX)"
fi
started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/nginx"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
if [ "$BENCH_SERVE" = file ]; then
  mkdir -p "$WORK/www"
  chmod 755 "$WORK" "$WORK/www"  # nginx's workers may run as an unprivileged user
  echo "creating a ${SIZE_MIB} MiB file"
  head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$WORK/www/big.bin"
  chmod 644 "$WORK/www/big.bin"
  served="  sendfile on;
  tcp_nopush on;
  server { listen 127.0.0.1:$port; root $WORK/www; }"
  ready=("http://127.0.0.1:$port/big.bin" -r 0-0)
else
  served="  server {
    listen 127.0.0.1:$port;
    location / { default_type application/json; return 200 '{\"success\":true,\"disabled\":false}'; }
  }"
  ready=(-X POST "http://127.0.0.1:$port/stat")
fi
cat > "$WORK/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $WORK/nginx/body;
  proxy_temp_path $WORK/nginx/proxy;
  fastcgi_temp_path $WORK/nginx/fastcgi;
  uwsgi_temp_path $WORK/nginx/uwsgi;
  scgi_temp_path $WORK/nginx/scgi;
$served
}
CONF
nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" &
started+=($!)
wineserver -f -p >/dev/null 2>&1 &
started+=($!)
for _ in $(seq 1 50); do curl -s -o /dev/null "${ready[@]}" && break; sleep 0.1; done
wine cmd /c exit >/dev/null 2>&1 || true

if [ "$BENCH_SERVE" = file ]; then url="http://127.0.0.1:$port/big.bin"; fi

# Summary of rounds: "best B, median M" of the numbers given (bytes per second), in MiB/s.
summary() {
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "best %.1f MiB/s, median %.1f MiB/s", v[NR] / 1048576, m / 1048576 }'
}
# Ratio of two lists of rounds, in percent of the second: "best B %, median M %" (best to best, median to median).
ratio() {  # "list a" "list b"
  local a b
  a=$(printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { print v[NR], (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }')
  b=$(printf '%s\n' $2 | sort -n | awk '{ v[NR] = $1 } END { print v[NR], (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }')
  awk -v a="$a" -v b="$b" 'BEGIN { split(a, x, " "); split(b, y, " "); printf "best %.1f %%, median %.1f %%", 100 * x[1] / y[1], 100 * x[2] / y[2] }'
}
# Bytes per second of a download with the bare synchronous WinHTTP loop of NetworkBench into file $1.
plain_winhttp() {
  wine "$BUILD/bin/NetworkBench.exe" "$url" "Z:$1" --plain-winhttp | tr -d '\r' | sed -n 's/.*bytes_per_second=\([0-9]*\).*/\1/p'
}
# Rounds of three downloads of $url into files on the same disk: curl, the measured client NAME and the bare
# WinHTTP loop. Checks every copy, prints each round, then best and median of each and the client's ratios.
#   compare_downloads NAME MEASURE WIDTH: MEASURE is a command that downloads into the file it is given and prints
#   bytes per second; WIDTH is the field width of the numbers in the round lines.
compare_downloads() {
  local name="$1" measure="$2" width="$3" round copy curl_bps measured_bps plain_bps
  local curls=() measured=() plains=()
  local line="round %d: curl %${width}.1f MiB/s   $name %${width}.1f MiB/s   plain WinHTTP %${width}.1f MiB/s\n"
  for round in $(seq 1 "$ROUNDS"); do
    rm -f "$WORK/curl.bin" "$WORK/$name.bin" "$WORK/plain.bin"
    curl_bps=$(curl -s -o "$WORK/curl.bin" -w '%{speed_download}' "$url")
    curl_bps=${curl_bps%.*}
    measured_bps=$("$measure" "$WORK/$name.bin")
    plain_bps=$(plain_winhttp "$WORK/plain.bin")
    for copy in curl "$name" plain; do
      cmp -s "$WORK/www/big.bin" "$WORK/$copy.bin" || { echo "the $copy copy differs" >&2; exit 1; }
    done
    awk -v f="$line" -v r="$round" -v c="$curl_bps" -v n="$measured_bps" -v p="$plain_bps" \
      'BEGIN { printf f, r, c / 1048576, n / 1048576, p / 1048576 }'
    curls+=("$curl_bps")
    measured+=("$measured_bps")
    plains+=("$plain_bps")
  done
  echo "of $ROUNDS rounds:"
  printf '  %-15s%s\n' curl "$(summary "${curls[@]}")" "$name" "$(summary "${measured[@]}")" \
    "plain WinHTTP" "$(summary "${plains[@]}")"
  printf "  %-$((${#name} + 16))s%s\n" "$name/plain WinHTTP:" "$(ratio "${measured[*]}" "${plains[*]}")" \
    "$name/curl:" "$(ratio "${measured[*]}" "${curls[*]}")"
}
