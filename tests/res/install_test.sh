#!/usr/bin/env bash
# Installs the build into a scratch prefix whose path holds a space, as
# `cmake --install --prefix` does, and checks what a desktop user gets:
# valid desktop entries and metainfo, entries that start the installed
# program without any PATH, and an uninstall from the install manifest that
# leaves no file behind.
# Usage: install_test.sh <cmake> <build dir> <version>
set -euo pipefail
cmake=$1
build=$2
version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$work/my prefix"
# Naming the component makes cmake write install_manifest_Unspecified.txt,
# so a user's own install_manifest.txt in this build stays as it was.
"$cmake" --install "$build" --component Unspecified --prefix "$prefix" >/dev/null
manifest=$build/install_manifest_Unspecified.txt

apps=$prefix/share/applications
metainfo=$prefix/share/metainfo/org.example.scriblet.metainfo.xml
for file in bin/scriblet libexec/scriblet/scriblet-notes \
  share/applications/scriblet-new-note.desktop share/applications/scriblet-search-notes.desktop \
  share/icons/hicolor/16x16/apps/scriblet.png share/icons/hicolor/32x32/apps/scriblet.png \
  share/icons/hicolor/72x72/apps/scriblet.png share/icons/hicolor/scalable/apps/scriblet.svg \
  share/man/man1/scriblet.1 share/metainfo/org.example.scriblet.metainfo.xml; do
  [ -f "$prefix/$file" ] || fail "$file not installed"
done
[ "$(grep -c "" "$manifest")" -eq 10 ] || fail "install manifest: $(cat "$manifest")"

out=$(desktop-file-validate "$apps"/*.desktop 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $out"
! grep -E '^[EWI]:' <<<"$out" || fail "appstreamcli: $out"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo lacks release $version"
grep -q "^\.TH SCRIBLET 1 .* \"Scriblet $version\"" "$prefix/share/man/man1/scriblet.1" ||
  fail "the man page is not of version $version"
[ "$("$prefix/bin/scriblet" --version)" = "scriblet $version" ] || fail "--version"

editor=$work/editor
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/record"\n' "$work" > "$editor"
chmod +x "$editor"

# Starts entry's Exec line as a launcher would, with an empty environment
# but HOME, the editor and the sanitizers' settings.
start_entry() {  # <entry> [VARIABLE=value...]
  local entry=$apps/$1
  shift
  grep -qx 'StartupWMClass=scriblet' "$entry" || fail "$entry: StartupWMClass"
  local line
  line=$(sed -n 's/^Exec=//p' "$entry")
  local -a command
  eval "command=($line)"
  env -i HOME="$work/home" SCRIBLET_EDITOR="$editor" "$@" \
    ${ASAN_OPTIONS+"ASAN_OPTIONS=$ASAN_OPTIONS"} ${LSAN_OPTIONS+"LSAN_OPTIONS=$LSAN_OPTIONS"} \
    ${UBSAN_OPTIONS+"UBSAN_OPTIONS=$UBSAN_OPTIONS"} "${command[@]}"
}

mkdir "$work/home"
start_entry scriblet-new-note.desktop || fail "New note failed"
notes=("$work/home/Notes"/note-*.txt)
[ -f "${notes[0]}" ] || fail "New note made no note in ~/Notes"
for _ in $(seq 100); do [ -s "$work/record" ] && break; sleep 0.1; done
[ "$(cat "$work/record")" = "${notes[0]}" ] || fail "editor got: $(cat "$work/record")"

# No display here: the search still refreshes the folder, which deletes the
# note left empty (dated back past the age a fresh empty note is spared at),
# then says so.
touch -d '-2 minutes' "${notes[0]}"
start_entry scriblet-search-notes.desktop 2>/dev/null && fail "Search notes without a display"
[ ! -e "${notes[0]}" ] || fail "Search notes did not refresh ~/Notes"
start_entry scriblet-new-note.desktop SCRIBLET_NOTES="$work/other" || fail "New note elsewhere"
compgen -G "$work/other/note-*.txt" >/dev/null || fail "SCRIBLET_NOTES was not used"
# A home whose path holds a space still gets its notes in ~/Notes.
mkdir "$work/my home"
start_entry scriblet-new-note.desktop HOME="$work/my home" || fail "New note with a space in HOME"
compgen -G "$work/my home/Notes/note-*.txt" >/dev/null ||
  fail "New note with a space in HOME made no note in ~/Notes: $(cd "$work" && find . -name 'note-*')"

# A notes folder whose path holds a space cannot go through the command
# line whole; the entry must not make a note in the folder cut at the space.
start_entry scriblet-new-note.desktop SCRIBLET_NOTES="$work/my notes" || fail "New note with a space"
[ ! -e "$work/my" ] || fail "New note on \"$work/my notes\" made $(find "$work/my")"
compgen -G "$work/my notes/note-*.txt" >/dev/null || fail "no note in \"$work/my notes\""
# Such a folder that cannot be made, or is missing, is not passed over in
# silence: the desktop's notification says so.
mkdir "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s/notified"\n' "$work" > "$work/bin/notify-send"
chmod +x "$work/bin/notify-send"
: > "$work/a file"
start_entry scriblet-new-note.desktop PATH="$work/bin:/usr/bin:/bin" \
  SCRIBLET_NOTES="$work/a file/my notes" 2>/dev/null && fail "New note under a file succeeded"
start_entry scriblet-search-notes.desktop PATH="$work/bin:/usr/bin:/bin" \
  SCRIBLET_NOTES="$work/no such notes" 2>/dev/null && fail "Search notes in a missing folder succeeded"
[ "$(cat "$work/notified" 2>/dev/null)" = "--app-name=Scriblet Scriblet Не удалось создать папку заметок: $work/a file/my notes
--app-name=Scriblet Scriblet Не удалось открыть папку заметок: $work/no such notes" ] ||
  fail "notified: $(cat "$work/notified" 2>/dev/null)"
# Written "~/" where nothing expands it, the value still means the home's.
start_entry scriblet-new-note.desktop SCRIBLET_NOTES="~/tilde" || fail "New note in ~/tilde"
compgen -G "$work/home/tilde/note-*.txt" >/dev/null || fail "\"~/tilde\" was not the home's"

# The README's uninstall.
xargs -d '\n' rm -f -- < "$manifest"
left=$(find "$prefix" -type f)
[ -z "$left" ] || fail "left after uninstall: $left"
