#!/usr/bin/env bash
# install_test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for f in bin/selfpack share/man/man1/selfpack.1 share/applications/selfpack.desktop \
         share/icons/hicolor/scalable/apps/selfpack.svg; do
    [ -f "$prefix/$f" ] || fail "$f was not installed"
done
[ -x "$prefix/bin/selfpack" ] || fail "the installed maker is not executable"
"$prefix/bin/selfpack" --version | grep -q '^selfpack [0-9]' || fail "the installed maker does not run"

# The desktop entry starts the window by the name it is installed under and names the icon.
entry=$prefix/share/applications/selfpack.desktop
grep -qx 'Exec=selfpack' "$entry" || fail "the desktop entry does not start selfpack"
grep -qx 'Icon=selfpack' "$entry" || fail "the desktop entry names no icon"
grep -qx 'Type=Application' "$entry" || fail "the desktop entry is not an application"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry" || fail "desktop entry invalid"; fi
python3 -c 'import sys, xml.etree.ElementTree as E; sys.exit(not E.parse(sys.argv[1]).getroot().tag.endswith("svg"))' \
    "$prefix/share/icons/hicolor/scalable/apps/selfpack.svg" || fail "the icon is not an SVG image"

# The manual page formats without complaint and says what the command line takes.
if command -v groff >/dev/null; then
    page=$(groff -man -Tascii -ww "$prefix/share/man/man1/selfpack.1" 2>"$prefix/groff.err")
    [ ! -s "$prefix/groff.err" ] || fail "the manual page has faults: $(cat "$prefix/groff.err")"
    for word in '--version' '--list' '--target' 'Zip64'; do
        grep -q -- "$word" <<<"$(sed 's/\x1b\[[0-9;]*m//g; s/.\x08//g' <<<"$page")" || fail "the manual page does not mention $word"
    done
fi
echo "install test passed"
