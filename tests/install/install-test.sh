#!/bin/sh
# The installed program: `cmake --install` into a DESTDIR under another
# prefix, then the program runs from another folder without the checkout and
# without a display. Checks the installed files (help, desktop entry, icons,
# AppStream metainfo, man page, bash completion), the validators, --help,
# --version and a wrong option, a scan and a print --pdf, and a start from
# the menu (~/Quandrel created, the help found in the installed tree).
#   install-test.sh SOURCE_DIR BUILD_DIR
set -eu
src=${1:?source dir}
build=${2:?build dir}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
export ASAN_OPTIONS=detect_leaks=0
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

prefix=/opt/quandrel-test
root="$tmp/root"
DESTDIR="$root" cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || {
  cat "$tmp/install.log" >&2
  fail "cmake --install"
}
p="$root$prefix"
share="$p/share"

# ---- The files -------------------------------------------------------------
for f in bin/quandrel share/quandrel/help/qdl_g.hlp share/quandrel/help/qdl_e.hlp \
  share/applications/quandrel.desktop share/icons/hicolor/scalable/apps/quandrel.svg \
  share/metainfo/org.quandrel.Quandrel.metainfo.xml share/man/man1/quandrel.1.gz \
  share/bash-completion/completions/quandrel share/doc/quandrel/copyright \
  share/doc/quandrel/changelog.gz; do
  [ -f "$p/$f" ] || fail "$f is not installed"
done
[ -x "$p/bin/quandrel" ] || fail "the program is not executable"
# Nothing else: every installed file is one of these kinds.
unexpected=$(cd "$p" && find . -type f | sed 's|^\./||' | grep -v -E \
  '^(bin/quandrel|share/quandrel/help/qdl_[eg]\.hlp|share/applications/quandrel\.desktop|share/icons/hicolor/[^/]+/apps/quandrel\.(png|svg)|share/metainfo/org\.quandrel\.Quandrel\.metainfo\.xml|share/man/man1/quandrel\.1\.gz|share/bash-completion/completions/quandrel|share/doc/quandrel/(copyright|changelog\.gz))$' ||
  true)
[ -z "$unexpected" ] || fail "unexpected files installed: $unexpected"
# The PNG icons: one per size, each of its size (width and height from IHDR).
for size in 16 32 48 64 128 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/quandrel.png"
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is no PNG"
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print ($3*256+$4) "x" ($7*256+$8)}')
  [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done
grep -q '^Exec=quandrel --menu$' "$share/applications/quandrel.desktop" ||
  fail "the menu entry does not start with --menu"

# ---- The validators --------------------------------------------------------
desktop-file-validate "$share/applications/quandrel.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/org.quandrel.Quandrel.metainfo.xml" \
  >"$tmp/appstream.log" 2>&1 || {
  cat "$tmp/appstream.log" >&2
  fail "appstreamcli validate"
}
# The man page: gzip without a name, groff finds nothing to complain about,
# and every option of the usage text is in it.
gzip -t "$share/man/man1/quandrel.1.gz" || fail "the man page is no gzip file"
if command -v groff >/dev/null; then
  warnings=$(gzip -dc "$share/man/man1/quandrel.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "groff: $warnings"
fi
man=$(gzip -dc "$share/man/man1/quandrel.1.gz" | sed 's/\\-/-/g')
for word in $("$p/bin/quandrel" --help | grep -o -E -- '--[a-z-]+|\b(scan|analyse|print|playlist|devices)\b' | sort -u); do
  printf '%s' "$man" | grep -q -F -- "$word" || fail "the man page does not name $word"
done

# ---- The bash completion, with the two helpers bash-completion provides ------
cat >"$tmp/complete.bash" <<'BASH'
_init_completion() {
  words=("${COMP_WORDS[@]}")
  cword=$COMP_CWORD
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
}
_filedir() { COMPREPLY=(FILES:"${1:-any}"); }
source "$1"
shift
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
_quandrel
echo "${COMPREPLY[*]}"
BASH
complete() { bash "$tmp/complete.bash" "$share/bash-completion/completions/quandrel" "$@"; }
[ "$(complete quandrel s)" = "scan" ] || fail "completion of s: $(complete quandrel s)"
[ "$(complete quandrel --m)" = "--menu" ] || fail "completion of --m"
[ "$(complete quandrel print --sort "")" = "artist title genre year" ] || fail "completion of --sort"
[ "$(complete quandrel --folder lib print --l)" = "--lang" ] || fail "completion after --folder"
[ "$(complete quandrel scan "")" = "FILES:-d" ] || fail "scan completes folders"
[ "$(complete quandrel devices --)" = "--verbose" ] || fail "completion of devices"

# ---- The program, from another folder, without a display -------------------
elsewhere="$tmp/elsewhere"
mkdir -p "$elsewhere"
cd "$elsewhere"
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
out=$(nodisplay "$p/bin/quandrel" --version) || fail "--version without a display"
[ "$out" = "Quandrel public Alpha 2" ] || fail "--version says $out"
nodisplay "$p/bin/quandrel" --help >"$tmp/help" || fail "--help without a display"
grep -q 'quandrel devices' "$tmp/help" || fail "--help lists no commands"
set +e
nodisplay "$p/bin/quandrel" --no-such-option >"$tmp/out" 2>"$tmp/err"
code=$?
set -e
[ "$code" = 2 ] || fail "a wrong option ends with $code, not 2"
grep -q "unknown option '--no-such-option'" "$tmp/err" || fail "a wrong option is not named"
[ ! -e "$elsewhere/qdl.ini" ] && [ ! -e "$elsewhere/Data" ] || fail "--version or --help wrote files"

# A library made by the installed program, then its song list as PDF.
mkmp3() { # FILE ARTIST TITLE: 1 KiB of silence and an ID3v1 tag
  mkdir -p "$(dirname "$1")"
  { head -c 1024 /dev/zero; printf 'TAG%-30.30s%-30.30s' "$3" "$2"; head -c 65 /dev/zero; } >"$1"
}
mkmp3 "$tmp/music/a.mp3" "Installed Artist" "First Song"
mkmp3 "$tmp/music/sub/b.mp3" "Another Artist" "Second Song"
nodisplay "$p/bin/quandrel" --folder "$tmp/lib" scan "$tmp/music" >"$tmp/scan.log" 2>&1 || {
  cat "$tmp/scan.log" >&2
  fail "scan"
}
[ -f "$tmp/lib/Data/data.db" ] || fail "--folder: the library is not in the named folder"
[ ! -e "$elsewhere/Data" ] || fail "--folder: the current folder got a library"
nodisplay "$p/bin/quandrel" --folder "$tmp/lib" print --sort artist --lang en --pdf "$tmp/list.pdf" \
  >"$tmp/print.log" 2>&1 || {
  cat "$tmp/print.log" >&2
  fail "print --pdf"
}
[ "$(head -c 5 "$tmp/list.pdf")" = "%PDF-" ] || fail "print wrote no PDF"
# Relative paths a command names are those of the folder it was started in,
# also when --folder names another one.
(cd "$tmp" && nodisplay "$p/bin/quandrel" --folder lib2 scan music >/dev/null 2>&1) ||
  fail "scan with relative paths"
(cd "$tmp" && nodisplay "$p/bin/quandrel" --folder lib2 print --sort title --pdf list2.pdf \
  >/dev/null 2>&1) || fail "print with a relative --pdf"
[ -f "$tmp/lib2/Data/data.db" ] && [ -f "$tmp/list2.pdf" ] || fail "relative paths with --folder"
if command -v pdftotext >/dev/null; then
  pdftotext "$tmp/list2.pdf" - | grep -q "Second Song" || fail "the relative scan found no songs"
fi
if command -v pdftotext >/dev/null; then
  pdftotext "$tmp/list.pdf" - | grep -q "Installed Artist" || fail "the PDF does not list the songs"
fi

# ---- A start from the menu ---------------------------------------------------
home="$tmp/home"
mkdir -p "$home"
# The library first (a command with --menu works in ~/Quandrel as well),
# then the settings: the virtual card, English.
HOME="$home" nodisplay "$p/bin/quandrel" --menu scan "$tmp/music" >/dev/null 2>&1 || fail "menu scan"
[ -f "$home/Quandrel/Data/data.db" ] || fail "the menu folder ~/Quandrel was not created"
guid=$(QUANDREL_AUDIO=virtual nodisplay "$p/bin/quandrel" devices | head -n 1 | cut -f 1)
card=$(QUANDREL_AUDIO=virtual nodisplay "$p/bin/quandrel" devices | head -n 1 | cut -f 2-)
printf '[Devices]\r\nMode=0\r\nCard_1=%s\r\nCard_2=\r\n[present Devices]\r\n%s=%s\r\n[Sprache]\r\nMode=1\r\n' \
  "$card" "$card" "$guid" >"$home/Quandrel/qdl.ini"
out=$(HOME="$home" QUANDREL_AUDIO=virtual QT_QPA_PLATFORM=offscreen QUANDREL_MIDI=off \
  QUANDREL_SCREENSHOT="$tmp/help.png" QUANDREL_SCREENSHOT_HELP=1 \
  "$p/bin/quandrel" --menu 2>"$tmp/console.log") || {
  cat "$tmp/console.log" >&2
  fail "the console started from the menu"
}
echo "$out"
echo "$out" | grep -q "| 2 Songs avaible | help: $p/share/quandrel/help/qdl_e.hlp$" ||
  fail "the menu start did not open its library and installed help: $out"
[ -d "$home/Quandrel/Playlist" ] || fail "the console did not work in ~/Quandrel"
[ ! -e "$elsewhere/Playlist" ] || fail "the menu start used the current folder"
echo "install ok"
