# Sourced by the tools scripts. start_xvfb starts Xvfb (24-bit depth, which Direct2D needs under Wine) on a display
# number the server chooses itself, waits until it accepts connections, exports DISPLAY and adds the server's
# process id to the caller's `started` array, so the caller stops it with the rest.
# Xvfb takes the first number whose socket it can bind: a lock file only tells of displays on this file system, and
# runs in containers that share one network meet on the same abstract socket; the server's own choice is free of
# both.
start_xvfb() {
  local number_file number=""
  number_file="$(mktemp /tmp/netsetter-xvfb.XXXXXX)"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  started+=($!)
  # The number comes as one line once the server is ready.
  for _ in $(seq 1 100); do
    [ "$(wc -l <"$number_file")" -ge 1 ] && { number="$(head -n1 "$number_file")"; break; }
    sleep 0.1
  done
  rm -f "$number_file"
  [ -n "$number" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$number"
}
