#!/usr/bin/env bash
# Throughput of a download through the whole download library (register, schedule, Available) next to curl's and
# to a minimal synchronous WinHTTP loop's (the ceiling of the system's WinHTTP): all fetch the same file from the
# same local nginx, in the same run, into files on the same disk.
#   tools/bench/fetchwell-bench.sh [size in MiB, default 512] [rounds, default 3]
set -euo pipefail
BENCH_TARGET="fetchwell_bench NetworkBench"
source "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"
library() {  # output file; prints bytes per second
  wine "$BUILD/bin/fetchwell_bench.exe" "$url" "Z:$1" 2>/dev/null | tr -d '\r' |
    sed -n 's/.*bytes=\([0-9]*\) seconds=\([0-9.]*\).*/\1 \2/p' | awk '{ printf "%d", $1 / $2 }'
}
compare_downloads library library 8
