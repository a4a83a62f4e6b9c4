#!/usr/bin/env bash
# The same notes folder, written in code page 1251, refreshed once by the
# Linux program and once by scriblet.exe under Wine, both in the search mode
# without a display (they bring the index up to date, then say that no
# window can be shown and end with status 1): the same renames
# and deletions, notes.ndx byte for byte the same, and each system takes
# the other's index as its own (nothing to redo, and the same index after
# the same edits).
# Usage: cross_system_index_test.sh <Linux scriblet> <scriblet.exe>
set -euo pipefail
linux=$1
windows=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Both read the notes in 1251 under a Russian locale, in one time zone.
export SCRIBLET_CODEPAGE=1251 LC_ALL=ru_RU.UTF-8 TZ=UTC
stamp='2026-01-05 09:30:00 UTC'

run() {  # <name> <program...> <folder>
  local name=$1 status=0
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" 2>/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "the $name program ended with $status"
}
run_linux() { run Linux "$linux" /s "$1"; }
run_windows() { run Windows wine "$windows" /s "$(winepath -w "$1")"; }
listing() { (cd "$1" && find . -type f | LC_ALL=C sort); }

a=$work/linux
mkdir "$a"
# Молоко и хлеб, twice: the second gets a numbered name.
printf '\xcc\xee\xeb\xee\xea\xee \xe8 \xf5\xeb\xe5\xe1' > "$a/note-2026.01.01-10.00.00.txt"
printf '\xcc\xee\xeb\xee\xea\xee \xe8 \xf5\xeb\xe5\xe1!' > "$a/note-2026.01.02-11.00.00.txt"
printf 'Tea \xd7\xc0\xc9 2go' > "$a/NOTE-2026.01.03-12.00.00.TXT"
# Long words: the new name is cut to fit 255 bytes of UTF-8.
for i in $(seq 40); do printf '\xf1\xeb\xee\xe2\xee%d ' "$i"; done > "$a/note-2026.01.04-00.00.00.txt"
: > "$a/empty.txt"
printf '\xcf\xd0\xc8\xc2\xc5\xd2 \xec\xe8\xf0, Hello World' > "$a/Заметка.txt"
printf 'apple' > "$a/Яблоко.txt"
printf 'b' > "$a/b.txt"
printf 'x' > "$a/[x].txt"
printf 'y' > "$a/_y.txt"
printf 'not a note' > "$a/readme.md"
# Every byte but zero, so both systems judge each character of 1251 alike.
perl -e 'print map { chr } 1 .. 255' > "$a/Все байты.txt"
touch -d "$stamp" "$a"/*
b=$work/windows
cp -a "$a" "$b"

run_linux "$a"
run_windows "$b"
[ -f "$a/notes.ndx" ] || fail "Linux wrote no index"
[ "$(listing "$a")" = "$(listing "$b")" ] ||
  fail "the folders differ: $(diff <(listing "$a") <(listing "$b"))"
[ -f "$a/Молоко и хлеб.txt" ] && [ -f "$a/Молоко и хлеб.0.txt" ] && [ -f "$a/Tea ЧАЙ 2go.txt" ] ||
  fail "time-named notes were not renamed: $(listing "$a")"
[ ! -e "$a/empty.txt" ] || fail "the empty note was kept"
cmp "$a/notes.ndx" "$b/notes.ndx" || fail "notes.ndx differs"

# Each takes the other's index: an unchanged folder is not indexed again.
cp "$a/notes.ndx" "$work/linux.ndx"
cp "$work/linux.ndx" "$b/notes.ndx"
cp "$work/linux.ndx" "$a/notes.ndx"
touch -d '2000-01-01 UTC' "$a/notes.ndx" "$b/notes.ndx"
run_linux "$b"
run_windows "$a"
for dir in "$a" "$b"; do
  [ "$(stat -c %Y "$dir/notes.ndx")" = "$(date -d '2000-01-01 UTC' +%s)" ] ||
    fail "$dir/notes.ndx was rewritten: the other system's index was not taken as is"
done

# The same edits on top of the other's index give the same index again.
for dir in "$a" "$b"; do
  printf '\xcd\xee\xe2\xe0\xff \xe7\xe0\xec\xe5\xf2\xea\xe0' > "$dir/new.txt"
  printf 'changed' > "$dir/Яблоко.txt"
  rm "$dir/b.txt"
  touch -d '2026-01-06 10:00:00 UTC' "$dir/new.txt" "$dir/Яблоко.txt"
done
run_linux "$b"
run_windows "$a"
cmp "$a/notes.ndx" "$b/notes.ndx" || fail "notes.ndx differs after the same edits"
cmp -s "$a/notes.ndx" "$work/linux.ndx" && fail "the edits did not reach the index"
echo "cross-system index: identical"
