#!/usr/bin/env bash
# Starts or stops the test server whose state lives in the given folder (ctest fixture).
set -euo pipefail
action="$1"; dir="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
case "$action" in
  start)
    mkdir -p "$dir"
    if [ -f "$dir/ports.json" ]; then
      pid=$(/usr/bin/python3 -c 'import json,sys;print(json.load(open(sys.argv[1]))["pid"])' "$dir/ports.json")
      if kill -0 "$pid" 2>/dev/null; then exit 0; fi
      rm -f "$dir/ports.json"
    fi
    setsid /usr/bin/python3 "$here/testserver.py" --dir "$dir" >"$dir/server.log" 2>&1 < /dev/null &
    for _ in $(seq 1 100); do
      [ -f "$dir/ports.json" ] && { cat "$dir/ports.json"; echo; exit 0; }
      sleep 0.1
    done
    echo "test server did not start" >&2; cat "$dir/server.log" >&2; exit 1 ;;
  stop)
    if [ -f "$dir/ports.json" ]; then
      pid=$(/usr/bin/python3 -c 'import json,sys;print(json.load(open(sys.argv[1]))["pid"])' "$dir/ports.json")
      kill "$pid" 2>/dev/null || true
      rm -f "$dir/ports.json"
    fi ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
