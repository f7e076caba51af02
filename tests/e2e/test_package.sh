#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package as `make package` does and checks it as Debian and a
# desktop would: its control fields and files, the desktop entry and AppStream data,
# the installed program and its man page from an unpacked root, and lintian. (The
# end-to-end test installs with `cmake --install` into a prefix of its own.)
set -euo pipefail
source=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

make -C "$source" package >/tmp/tonvik-package.log 2>&1 || { tail -30 /tmp/tonvik-package.log; fail "make package"; }
deb=$(ls "$source"/tonvik_1.0.0_"$(dpkg --print-architecture)".deb) || fail "no tonvik_1.0.0_<arch>.deb"

info=$(dpkg-deb -I "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = tonvik ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.0.0 ] || fail "Version: $(field Version)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
for dep in libqt6widgets6 libfluidsynth3 librtmidi6 libsndfile1 "fluid-soundfont-gm | sf2-soundfont-gm"; do
    grep -qF "$dep" <<<"$(field Depends)" || fail "Depends lacks $dep: $(field Depends)"
done
grep -q libasound2-plugins <<<"$(field Recommends)" || fail "Recommends: $(field Recommends)"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/tonvik ./usr/share/tonvik/right.wav ./usr/share/tonvik/wrong.wav \
         ./usr/share/applications/org.tonvik.Tonvik.desktop \
         ./usr/share/metainfo/org.tonvik.Tonvik.metainfo.xml \
         ./usr/share/icons/hicolor/48x48/apps/org.tonvik.Tonvik.png \
         ./usr/share/man/man1/tonvik.1.gz ./usr/share/doc/tonvik/copyright \
         ./usr/share/doc/tonvik/changelog.gz; do
    grep -qxF "$f" <<<"$files" || fail "$f is not in the package"
done

root=$(mktemp -d /tmp/tonvik-root.XXXXXX)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
[ "$("$root/usr/bin/tonvik" --version)" = "tonvik 1.0" ] || fail "the unpacked program's --version"
desktop-file-validate "$root/usr/share/applications/org.tonvik.Tonvik.desktop" || fail "desktop file"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.tonvik.Tonvik.metainfo.xml" >/dev/null \
    || fail "metainfo"
MANWIDTH=80 man -l "$root/usr/share/man/man1/tonvik.1.gz" 2>/dev/null | grep -q -- '--soundfont' \
    || fail "man page"
# It starts and keeps running from another directory, finding its sounds.
(cd / && exec env QT_QPA_PLATFORM=offscreen TONVIK_DATA_PATH="$root/usr/share/tonvik" \
    "$root/usr/bin/tonvik" --audio-driver oss >/dev/null 2>"$root/err") &
sleep 1.5
kill %1 2>/dev/null || fail "the unpacked program did not keep running: $(cat "$root/err")"

# Errors fail; the warnings are printed for the log.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"
echo "1 passed, 0 failed"
