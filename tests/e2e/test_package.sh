#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package as `make package` does and checks it as Debian and a desktop
# would: fields, files, desktop entry, AppStream data, man page, unpacked program, lintian.
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
# One version: the package's, the program's and the AppStream release.
[ "$("$root/usr/bin/tonvik" --version)" = "tonvik $(field Version)" ] || fail "the unpacked program's --version"
grep -qF "<release version=\"$(field Version)\"" "$root/usr/share/metainfo/org.tonvik.Tonvik.metainfo.xml" \
    || fail "the AppStream release is not the package's version"
desktop-file-validate "$root/usr/share/applications/org.tonvik.Tonvik.desktop" || fail "desktop file"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.tonvik.Tonvik.metainfo.xml" >/dev/null \
    || fail "metainfo"
MANWIDTH=80 man -l "$root/usr/share/man/man1/tonvik.1.gz" 2>/dev/null | grep -q -- '--soundfont' \
    || fail "man page"
# Run from another directory with a home of its own, it opens the output with the
# system's sound font and finds its sounds in the unpacked prefix (not the build tree),
# and it starts: the title window painted, the sound font ready.
run() { mkdir -p "$root/home" && cd / && exec env HOME="$root/home" XDG_DATA_HOME="$root/home/data" \
    XDG_CONFIG_HOME="$root/home/config" XDG_CACHE_HOME="$root/home/cache" "$@"; }
pactl info >/dev/null 2>&1 || fail "needs the PulseAudio server of scripts/with-test-env"
info=$(run "$root/usr/bin/tonvik" --sound-info 2>&1) || fail "the unpacked program's --sound-info: $info"
grep -q "sound font /usr/share/sounds/sf2/" <<<"$info" || fail "no system sound font: $info"
grep -qF "feedback sounds $root/usr/share/tonvik/right.wav, $root/usr/share/tonvik/wrong.wav" \
    <<<"$info" || fail "the sounds are not found in the unpacked prefix: $info"
run QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=tonvik.startup.debug=true "$root/usr/bin/tonvik" \
    >/dev/null 2>"$root/err" &
started() { grep -q frmSplash "$root/err" && grep -q soundfont "$root/err"; }
for _ in $(seq 100); do started && break; sleep 0.1; done
kill %1 2>/dev/null
started || fail "the unpacked program did not start: $(cat "$root/err")"

# Errors fail; the warnings are printed for the log.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"
echo "1 passed, 0 failed"
