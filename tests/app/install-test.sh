#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, as a packager would, and checks that the player
# arrives as a desktop application: both programs, the menu entry, the MIME package and the icon
# at every size.
#   install-test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1
build=$2
# The sanitizer trees build only the tests they run: nothing to install there (status 77: skipped).
for built in quandel-player quandel-render desktop/quandel-player.desktop; do
    [ -e "$build/$built" ] || { echo "skipped: $build/$built was not built in this tree"; exit 77; }
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
fail=0
check() { [ -e "$prefix/$1" ] || { echo "missing after install: $1"; fail=1; }; }
check bin/quandel-player
check bin/quandel-render
check share/applications/quandel-player.desktop
check share/applications/quandel-player-audiocd.desktop
check share/mime/packages/quandel-player.xml
for size in 16 22 24 32 48 64 128 256; do
    check "share/icons/hicolor/${size}x${size}/apps/quandel-player.png"
done
[ -x "$prefix/bin/quandel-player" ] || { echo "bin/quandel-player is not executable"; fail=1; }
entry=$prefix/share/applications/quandel-player.desktop
grep -q '^Exec=quandel-player %f$' "$entry" || { echo "the installed entry does not start the player by name:"; cat "$entry"; fail=1; }
grep -q '^Icon=quandel-player$' "$entry" || { echo "the installed entry names another icon"; fail=1; }
grep -q 'application/x-quandel-list' "$prefix/share/mime/packages/quandel-player.xml" || { echo "no list type in the MIME package"; fail=1; }
if command -v desktop-file-validate >/dev/null; then
    for f in "$prefix"/share/applications/*.desktop; do
        desktop-file-validate "$f" || { echo "desktop-file-validate refuses $f"; fail=1; }
    done
else
    echo "desktop-file-validate is not installed: the entries' syntax was not checked"
fi
# The installed player answers without a display.
"$prefix/bin/quandel-player" --version | grep -q '^quandel-player ' || { echo "the installed player does not run"; fail=1; }
exit $fail
