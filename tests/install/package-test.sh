#!/bin/sh
# The Debian package of the build tree (CPack, as scripts/package makes it
# from a Release tree): its file list, its dependencies found by
# dpkg-shlibdeps, and no maintainer scripts, so that installing and removing
# it never touches the users' folders.
#   package-test.sh BUILD_DIR
set -eu
build=${1:?build dir}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Uncompressed: the files and fields are what counts here, not the size.
(cd "$build" && cpack -G DEB -D CPACK_DEBIAN_COMPRESSION_TYPE=none -B "$tmp" >"$tmp/cpack.log" 2>&1) || {
  cat "$tmp/cpack.log" >&2
  fail "cpack"
}
deb=$(ls "$tmp"/quandrel_*.deb) || fail "no package"
case $(basename "$deb") in
  quandrel_*_"$(dpkg --print-architecture)".deb) ;;
  *) fail "package name $(basename "$deb")" ;;
esac

# The files, under /usr.
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$tmp/files"
cat >"$tmp/expected" <<LIST
/usr/bin/quandrel
/usr/share/applications/quandrel.desktop
/usr/share/bash-completion/completions/quandrel
/usr/share/doc/quandrel/changelog.gz
/usr/share/doc/quandrel/copyright
/usr/share/icons/hicolor/128x128/apps/quandrel.png
/usr/share/icons/hicolor/16x16/apps/quandrel.png
/usr/share/icons/hicolor/256x256/apps/quandrel.png
/usr/share/icons/hicolor/32x32/apps/quandrel.png
/usr/share/icons/hicolor/48x48/apps/quandrel.png
/usr/share/icons/hicolor/64x64/apps/quandrel.png
/usr/share/icons/hicolor/scalable/apps/quandrel.svg
/usr/share/man/man1/quandrel.1.gz
/usr/share/metainfo/org.quandrel.Quandrel.metainfo.xml
/usr/share/quandrel/help/qdl_e.hlp
/usr/share/quandrel/help/qdl_g.hlp
LIST
sort -o "$tmp/expected" "$tmp/expected"
diff -u "$tmp/expected" "$tmp/files" || fail "the package's files"
# Every entry belongs to root and is readable by all.
dpkg-deb --contents "$deb" | awk '$2 != "root/root" {print}' | grep . && fail "files not owned by root"
dpkg-deb --contents "$deb" | awk '$1 !~ /^[d-]r.xr.xr.x$|^-rw-r--r--$/ {print}' | grep . &&
  fail "file modes"

# The dependencies: found from the program's libraries, plus the font.
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libmpg123-0 libportaudio2 libaubio5 \
  libsqlite3-0 libtag1v5 librtmidi6 libc6 fonts-liberation; do
  printf "%s" "$depends" | grep -q -E "(^|, |\| )$lib( |,|-|$)" || fail "Depends lacks $lib"
done
[ "$(dpkg-deb --field "$deb" Section)" = sound ] || fail "section"
dpkg-deb --field "$deb" Maintainer | grep -q . || fail "no maintainer"

# No maintainer scripts: nothing runs at install or removal.
dpkg-deb --control "$deb" "$tmp/control"
for script in preinst postinst prerm postrm; do
  [ ! -e "$tmp/control/$script" ] || fail "the package has a $script"
done
echo "package ok"
