#!/usr/bin/env bash
# Runs the built program's search mode in a virtual X server, drives it with
# real key presses and checks what it did to the notes folder.
# Usage: search_e2e_test.sh <scriblet executable> <repository root>
set -euo pipefail
scriblet=$1
root=$2
source "$root/tests/app/e2e-lib.sh"

printf 'Buy milk, eggs!' > "$notes/note-2026.01.01-10.00.00.txt"
printf 'Tea and biscuits' > "$notes/tea.txt"
printf 'Milkshake recipe' > "$notes/shake.txt"
: > "$notes/empty.txt"
# Old enough to be deleted: a younger empty note may be about to be written.
touch -d '-2 minutes' "$notes/empty.txt"

# Whatever follows the folder is ignored, Qt's own options too.
start_app /s "$notes" -platform nosuch
win=$(focus_scriblet_window) || fail "no search window"
# The desktop entries' StartupWMClass names this class.
xdotool search --class '^scriblet$' | grep -qx "$win" || fail "window class is not scriblet"

xdotool type --delay 60 milk
sleep 0.5
xdotool key Down
sleep 0.3
xdotool key Return
for _ in $(seq 100); do [ -s "$work/editor.record" ] && break; sleep 0.1; done
kill -0 "$app" 2>/dev/null || fail "the window closed on Enter"
xdotool key Escape
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && { kill "$app"; fail "Escape did not close the window"; }
wait "$app" || fail "scriblet exited with $?"
app=

[ -s "$notes/notes.ndx" ] || fail "notes.ndx not written"
[ -f "$notes/Buy milk eggs.txt" ] || fail "time-named note not renamed: $(ls "$notes")"
[ ! -e "$notes/note-2026.01.01-10.00.00.txt" ] || fail "old name still there"
[ ! -e "$notes/empty.txt" ] || fail "empty note not deleted"
expected=$(printf '%s\n1\n%s\n' "$notes" "$notes/Buy milk eggs.txt")
[ "$(editor_record)" = "$expected" ] || fail "editor started as: $(editor_record)"
