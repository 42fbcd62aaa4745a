# Sourced by the tools scripts. start_xvfb FIRST LAST starts Xvfb (24-bit depth, which Direct2D needs under Wine)
# on the first free display number in FIRST..LAST, waits for its socket, exports DISPLAY and adds the server's
# process id to the caller's `started` array, so the caller stops it with the rest.
start_xvfb() {
  local display="" n
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
  done
  [ -n "$display" ] || { echo "no free display number in $1..$2" >&2; return 1; }
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  started+=($!)
  export DISPLAY="$display"
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
}
