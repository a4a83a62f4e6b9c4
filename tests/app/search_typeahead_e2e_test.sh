#!/usr/bin/env bash
# Types a query while the progress window of a long refresh is shown: the
# keys must reach the search window's query field once it opens, so that
# Down and Enter there open the note the query finds.
# Usage: search_typeahead_e2e_test.sh <scriblet executable> <repository root>
# Exits 77 (skipped) when the refresh is too quick to show the progress.
set -euo pipefail
scriblet=$1
root=$2
source "$root/tests/app/e2e-lib.sh"

# Four million distinct words in 4000 notes: a second or more of indexing,
# well past the half second after which the progress shows.
(cd "$notes" && awk 'BEGIN { for (i = 0; i < 4000; i++) { f = "n" i ".txt";
  for (j = 0; j < 1000; j++) printf "w%d ", i * 1000 + j > f; close(f) } }')
printf 'zebra crossing' > "$notes/target.txt"

start_app /s "$notes"

first=$(timeout 20 xdotool search --sync --onlyvisible --class '^scriblet$' | head -n 1)
[ -n "$first" ] || fail "no window"
# A refresh that ends just as its progress shows takes the window away
# before it can be typed into.
xdotool windowfocus --sync "$first" 2>/dev/null ||
  { echo "the first window closed before it could be typed into: skipped"; exit 77; }
xdotool type --delay 40 zebra
second=
for _ in $(seq 600); do
  second=$(xdotool search --onlyvisible --class '^scriblet$' | grep -vx "$first" | head -n 1) || true
  [ -n "$second" ] && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
[ -n "$second" ] || { echo "no progress window before the search window: skipped"; exit 77; }

xdotool windowfocus --sync "$second"
sleep 0.5
xdotool key Down
sleep 0.3
xdotool key Return
for _ in $(seq 50); do [ -s "$work/editor.record" ] && break; sleep 0.1; done
# Which windows took part, for a failure that shows only under load.
windows() {
  local w
  for w in "$first" "$second"; do printf '%s "%s"; ' "$w" "$(xdotool getwindowname "$w" 2>&1)"; done
  printf 'focus "%s"' "$(xdotool getwindowfocus getwindowname 2>&1)"
}
[ "$(editor_record | tail -n 1)" = "$notes/target.txt" ] ||
  fail "keys typed while the progress showed did not reach the query (editor got: $(editor_record); windows: $(windows))"
xdotool key Escape
wait "$app" || fail "scriblet exited with $?"
app=
echo PASS
