#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it as a user gets
# it: the file name, the dependencies computed from the binary, the desktop
# entry, the AppStream data, the manual page and icons, and the unpacked
# program listing its voices and reading a text file into a WAV file.
# Usage: check-package.sh [BUILD_DIR]. Exit status 77: a checking tool is
# missing (the package tools come with scripts/setup-debian.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-${BUILD_DIR:-$root/build}}" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate appstreamcli gzip; do
  command -v "$tool" >/dev/null || { echo "check-package: $tool is needed" >&2; exit 77; }
done
work=$(mktemp -d /tmp/voxtrella-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$work/out/voxtrella_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work/out")"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libespeak-ng1 libflite1 libmp3lame0 libpulse0 libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 qt6-qpa-plugins; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

tree="$work/tree"
dpkg-deb -x "$deb" "$tree"
usr="$tree/usr"
desktop-file-validate "$usr/share/applications/voxtrella.desktop" || fail "the desktop entry is not valid"
metainfo="$usr/share/metainfo/org.voxtrella.Voxtrella.metainfo.xml"
appstreamcli validate --no-net --explain "$metainfo" || fail "the AppStream file is not valid"
grep -q '<launchable type="desktop-id">voxtrella.desktop</launchable>' "$metainfo" ||
  fail "the AppStream file does not name the desktop entry"
gzip -t "$usr/share/man/man1/voxtrella.1.gz" || fail "the manual page is not gzipped"
[ -f "$usr/share/icons/hicolor/scalable/apps/voxtrella.svg" ] &&
  [ -f "$usr/share/icons/hicolor/48x48/apps/voxtrella.png" ] || fail "icons missing"
[ -f "$usr/share/voxtrella/VXIntro.chl" ] || fail "the data files are missing"
if dpkg-deb -c "$deb" | grep -E 'test_|bench_|\.a$' >&2; then fail "test or build files in the package"; fi

# The unpacked program, with its own data beside it and a home of its own.
export VOXTRELLA_HOME="$work/home" QT_QPA_PLATFORM=offscreen
mkdir -p "$VOXTRELLA_HOME" "$work/audio"
voices=$("$usr/bin/voxtrella" --list-voices) || fail "--list-voices failed"
grep -qi espeak <<<"$voices" && grep -qi flite <<<"$voices" || fail "voices missing: $voices"
echo "The package reads this sentence into a sound file." >"$work/sentence.txt"
"$usr/bin/voxtrella" --read-to-file --format wav --out "$work/audio" "$work/sentence.txt" ||
  fail "--read-to-file failed"
size=$(stat -c %s "$work/audio/sentence.wav" 2>/dev/null || echo 0)
[ "$size" -gt 20000 ] || fail "sentence.wav holds $size bytes"
echo "check-package: $(basename "$deb") is whole and runs unpacked"
