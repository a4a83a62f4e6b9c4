# Shared by the demo and the end-to-end test: a private X server.
# start_xvfb sets DISPLAY and XVFB_PID; stop_xvfb ends the server.

start_xvfb() {
  # The server picks a free display itself and writes its number once it
  # listens: two scripts starting servers at once (parallel tests) cannot
  # both take the same display, as they could by looking for its socket.
  local ready n i
  # Only the abstract socket, which no other process can remove: a server
  # another script stops gives up its display number before it removes its
  # socket file, and so could remove a newer server's. No reset when the
  # last client leaves: a client connecting during one (the test's xdotool
  # just as the program's display probe disconnects) was turned away.
  ready=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -nolisten unix -noreset \
    3>"$ready" >/dev/null 2>&1 &
  XVFB_PID=$!
  for i in $(seq 100); do
    if grep -q . "$ready" 2>/dev/null && [ "$(tail -c 1 "$ready" | od -An -c | tr -d ' ')" = '\n' ]; then
      n=$(head -n 1 "$ready")
      rm -f "$ready"
      export DISPLAY=":$n"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$ready"
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
