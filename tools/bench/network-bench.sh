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
compare_downloads client client 7
