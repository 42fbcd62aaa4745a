# Shared by the benchmarks: builds the targets in $BENCH_TARGET, makes a random file of $1 MiB (default 512), serves it from a
# local nginx and keeps wineserver warm. Sets ROOT, BUILD, ROUNDS (from $2, default 3), WORK and url.
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
# shellcheck disable=SC2086  # a list of targets
cmake --build "$BUILD" --target $BENCH_TARGET >/dev/null
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
