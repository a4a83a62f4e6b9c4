# Shared by the end-to-end tests, sourced after setting scriblet and root:
# a scratch folder $work with an empty notes folder $notes, fail, an editor
# ($editor) that records each call in $work/editor.record, and start_app,
# which runs the program in a private X server. Whatever happens, the
# program, the server and the scratch folder are gone on exit, so that a
# failed run never leaves a window open.
source "$root/scripts/xvfb-lib.sh"

work=$(mktemp -d)
app=
cleanup() { [ -z "$app" ] || kill "$app" 2>/dev/null || true; stop_xvfb; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

notes=$work/notes
mkdir "$notes"

# Each call is recorded as its folder, its argument count and its arguments,
# in one write, so that a test never reads a record half made.
editor=$work/editor.sh
cat > "$editor" <<EDITOR
#!/bin/sh
record=\$(pwd; printf '%s\n' "\$#" "\$@")
printf '%s\n' "\$record" >> "$work/editor.record"
EDITOR
chmod +x "$editor"

# start_app ARGS...: the program with ARGS, in the background ($app), with
# the recording editor and UTF-8 notes.
start_app() {
  start_xvfb
  # The X server above, whatever platform the calling environment names.
  export QT_QPA_PLATFORM=xcb
  SCRIBLET_EDITOR=$editor SCRIBLET_CODEPAGE=65001 LC_ALL=C.UTF-8 "$scriblet" "$@" &
  app=$!
}

# The editor's calls so far.
editor_record() { cat "$work/editor.record" 2>/dev/null || true; }
