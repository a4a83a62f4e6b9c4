# Shared by the demo and the end-to-end test: a private X server.
# start_xvfb sets DISPLAY and XVFB_PID; stop_xvfb ends the server.

start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}

stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}

# Waits for the Scriblet window and gives it the keyboard focus. Prints its id.
focus_scriblet_window() {
  local win
  win=$(timeout 20 xdotool search --sync --name '^Scriblet$' | head -n 1)
  [ -n "$win" ] || return 1
  xdotool windowfocus --sync "$win"
  echo "$win"
}
