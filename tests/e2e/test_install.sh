#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a fresh prefix and checks what a desktop needs of it.
set -euo pipefail
build=$1
prefix=$(mktemp -d /tmp/tonvik-prefix.XXXXXX)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/tonvik share/tonvik/right.wav share/tonvik/wrong.wav \
         share/applications/org.tonvik.Tonvik.desktop \
         share/metainfo/org.tonvik.Tonvik.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.tonvik.Tonvik.svg \
         share/icons/hicolor/48x48/apps/org.tonvik.Tonvik.png \
         share/icons/hicolor/256x256/apps/org.tonvik.Tonvik.png \
         share/man/man1/tonvik.1.gz share/doc/tonvik/copyright; do
    [ -s "$prefix/$f" ] || fail "$f is not installed"
done

desktop-file-validate "$prefix/share/applications/org.tonvik.Tonvik.desktop" || fail "desktop file"
appstreamcli validate --no-net "$prefix/share/metainfo/org.tonvik.Tonvik.metainfo.xml" >/dev/null \
    || fail "metainfo"
grep -q '^Icon=org.tonvik.Tonvik$' "$prefix/share/applications/org.tonvik.Tonvik.desktop" || fail "icon name"
[ "$(head -c 4 "$prefix/share/icons/hicolor/48x48/apps/org.tonvik.Tonvik.png" | tail -c 3)" = PNG ] \
    || fail "the 48x48 icon is not a PNG"

version=$("$prefix/bin/tonvik" --version)
[ "$version" = "tonvik 1.0" ] || fail "--version says '$version'"
MANWIDTH=80 man -l "$prefix/share/man/man1/tonvik.1.gz" 2>/dev/null | grep -q -- '--soundfont' || fail "man page"

# The installed program starts and keeps running (offscreen, from another directory).
(cd / && exec env QT_QPA_PLATFORM=offscreen "$prefix/bin/tonvik" --audio-driver oss \
    >/dev/null 2>"$prefix/err") &
pid=$!
sleep 1.5
kill -0 "$pid" 2>/dev/null || fail "the installed program did not keep running: $(cat "$prefix/err")"
kill "$pid"
wait "$pid" 2>/dev/null || true
echo "1 passed, 0 failed"
