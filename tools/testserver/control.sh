#!/usr/bin/env bash
# Starts or stops the test server whose state lives in the given folder (ctest fixture). Each start brings a fresh
# server: one left running by an earlier run that was killed before its stop step (with that run's recorded
# requests and queued answers) is stopped first.
set -euo pipefail
action="$1"; dir="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Ends the server the folder's ports file names and waits until it is gone; a process id that now belongs to
# another program is left alone.
stop_server() {
  [ -f "$dir/ports.json" ] || return 0
  local pid
  pid=$(/usr/bin/python3 -c 'import json,sys;print(json.load(open(sys.argv[1]))["pid"])' "$dir/ports.json")
  if tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "testserver.py --dir $dir "; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$dir/ports.json"
}

case "$action" in
  start)
    mkdir -p "$dir"
    stop_server
    setsid /usr/bin/python3 "$here/testserver.py" --dir "$dir" >"$dir/server.log" 2>&1 < /dev/null &
    for _ in $(seq 1 100); do
      [ -f "$dir/ports.json" ] && { cat "$dir/ports.json"; echo; exit 0; }
      sleep 0.1
    done
    echo "test server did not start" >&2; cat "$dir/server.log" >&2; exit 1 ;;
  stop)
    stop_server ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
