#!/bin/sh
# The demo end to end: make-demo builds its folder (songs with their tags,
# the library with its cue point, the playlist, qdl.ini), then the console
# starts there under Xvfb and shows the demo library.
#   demo-test.sh SOURCE_DIR QUANDREL
set -eu
src=${1:?source dir}
quandrel=${2:?quandrel}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
# This test is about the demo, not about leaks of the libraries it starts.
export ASAN_OPTIONS=detect_leaks=0
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

dir="$tmp/demo folder"
"$src/scripts/make-demo" "$dir" "$quandrel" en >"$tmp/make.log" 2>&1 || {
  cat "$tmp/make.log" >&2
  fail "make-demo"
}

# Six songs of a few minutes, each tagged (umlauts in Windows-1252).
[ "$(ls "$dir/Songs" | grep -c '\.mp3$')" = 6 ] || fail "six songs"
for f in "$dir"/Songs/*.mp3; do
  size=$(wc -c <"$f")
  [ "$size" -gt 2000000 ] || fail "$f is too short for a song of minutes"
  [ "$(tail -c 128 "$f" | head -c 3)" = TAG ] || fail "$f has no ID3v1 tag"
done
tail -c 128 "$dir/Songs/06 Uebermut.mp3" | head -c 4 | od -An -tx1 | grep -q '54 41 47 dc' ||
  fail "the title Übermut is not Windows-1252 in its tag"

# The library: six songs read from the tags, one cue point.
db="$dir/Data/data.db"
[ "$(sqlite3 "$db" 'SELECT count(*) FROM data NOT INDEXED')" = 6 ] || fail "six records"
[ "$(sqlite3 "$db" "SELECT Interpret FROM data NOT INDEXED WHERE Titel = 'Übermut'")" = "Grüne Wellen" ] ||
  fail "umlauts in the library"
[ "$(sqlite3 "$db" "SELECT Genre FROM data NOT INDEXED WHERE Titel = 'Slow Sunday'")" = Lounge ] ||
  fail "the genre from the tag's comment"
[ "$(sqlite3 "$db" 'SELECT count(*) FROM data NOT INDEXED WHERE Startzeit > 0')" = 1 ] || fail "one cue point"

# The playlist: every song, and the console reads it.
(cd "$dir" && "$quandrel" playlist Playlist/Demo.qdp) >"$tmp/list" 2>/dev/null || fail "playlist"
[ "$(wc -l <"$tmp/list")" = 6 ] || fail "six playlist entries"

# qdl.ini: one card in mode 0, English.
grep -q '^Card_1=.' "$dir/qdl.ini" || fail "a card in qdl.ini"
grep -q '^Mode=1' "$dir/qdl.ini" || fail "English in qdl.ini"

# The console starts in the demo folder under Xvfb.
if [ -e "$dir/virtual-card" ]; then export QUANDREL_AUDIO=virtual-realtime; fi
cd "$dir"
out=$(QT_QPA_PLATFORM=xcb QUANDREL_SCREENSHOT="$tmp/console.png" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$quandrel" 2>"$tmp/console.log") || {
  cat "$tmp/console.log" >&2
  fail "the console under Xvfb"
}
echo "$out"
echo "$out" | grep -q "^saved .*Quandrel (Alpha 2).*| 6 Songs avaible$" || fail "console output: $out"
if [ -e "$dir/virtual-card" ]; then
  echo "$out" | grep -q "virtual sound card, no sound" || fail "the title names the virtual card"
fi
[ "$(head -c 8 "$tmp/console.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "the picture is no PNG"
echo "demo ok"
