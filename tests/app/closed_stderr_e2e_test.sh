#!/usr/bin/env bash
# Started with its standard error closed, as some launchers do, the program
# must still show its window: the first descriptor it opens takes the free
# number 2, and what the toolkit then writes to standard error must not go
# into the display connection (or into a file) instead.
# Usage: closed_stderr_e2e_test.sh <scriblet executable> <repository root>
set -euo pipefail
scriblet=$1
source "$2/scripts/xvfb-lib.sh"

app=
cleanup() { [ -z "$app" ] || kill "$app" 2>/dev/null || true; stop_xvfb; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

start_xvfb
export QT_QPA_PLATFORM=xcb
# Without a runtime folder Qt warns on standard error, as in sessions that
# were started without a login manager.
env -u XDG_RUNTIME_DIR "$scriblet" 2>&- &
app=$!
win=$(focus_scriblet_window) || fail "no instructions window with standard error closed"
xdotool key Escape
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Escape did not close the window"
wait "$app" || fail "scriblet exited with $?"
app=
