#!/usr/bin/env bash
# Started with its standard error closed, as some launchers do, the program
# must still show its window: the first descriptor it opens takes the free
# number 2, and what the toolkit then writes to standard error must not go
# into the display connection (or into a file) instead.
# Usage: closed_stderr_e2e_test.sh <scriblet executable> <repository root>
set -euo pipefail
scriblet=$1
root=$2
source "$root/tests/app/e2e-lib.sh"

# Without a runtime folder Qt warns on standard error, as in sessions that
# were started without a login manager.
unset XDG_RUNTIME_DIR
start_app 2>&-
win=$(focus_scriblet_window) || fail "no instructions window with standard error closed"
xdotool key Escape
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Escape did not close the window"
wait "$app" || fail "scriblet exited with $?"
app=
