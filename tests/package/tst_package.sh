#!/usr/bin/env bash
# Checks a built Debian package: its name, lintian without error, its dependencies computed, and,
# unpacked into a temporary root with dpkg -x, every file it must hold and extracteur-cli running
# from there. Argument: the .deb file. Exits 77 (skipped) without dpkg-deb.
set -uo pipefail
deb=${1:?the .deb file}
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "extracteur_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "the package is named $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6widgets6 libicu; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

if command -v lintian >/dev/null; then
    lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1
    grep '^E:' "$work/lintian.log" && fail "lintian reports errors"
    grep '^W:' "$work/lintian.log"
else
    echo "lintian is not installed: not run"
fi

dpkg-deb -c "$deb" | awk '$2 != "root/root" { print }' >"$work/owners.txt"
[ -s "$work/owners.txt" ] && fail "files not owned by root: $(cat "$work/owners.txt")"

root=$work/root
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x"; exit 1; }

output=$("$root/usr/bin/extracteur-cli" --version 2>&1)
[ "$output" = "extracteur-cli ${version%%-*}" ] || fail "extracteur-cli --version says \"$output\""
printf 'Jean <jean@exemple.fr>\n' >"$work/a.txt"
output=$("$root/usr/bin/extracteur-cli" -q "$work/a.txt" 2>&1)
[[ $output == *jean@exemple.fr* ]] || fail "the unpacked extracteur-cli finds nothing: $output"

{ [ -f "$root/usr/lib/extracteur/extracteur" ] && [ -x "$root/usr/lib/extracteur/extracteur" ]; } ||
    fail "no program in /usr/lib/extracteur"
[ "$(readlink "$root/usr/bin/extracteur")" = ../lib/extracteur/extracteur ] ||
    fail "/usr/bin/extracteur is not a relative link to the program"
[ -x "$root/usr/bin/extracteur-cli" ] || fail "no /usr/bin/extracteur-cli"
grep -qx 'Exec=/usr/bin/extracteur %f' "$root/usr/share/applications/extracteur.desktop" 2>/dev/null ||
    fail "the menu entry does not start /usr/bin/extracteur"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
    "$root"/usr/share/metainfo/*.metainfo.xml 2>/dev/null || fail "no AppStream file under GPL-3.0-or-later"
grep -q '^License: GPL-3.0-or-later' "$root/usr/share/doc/extracteur/copyright" 2>/dev/null ||
    fail "no copyright file under GPL-3.0-or-later"
for file in \
    usr/share/icons/hicolor/scalable/apps/extracteur.svg \
    usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/extracteur.png \
    usr/share/man/{,fr/}man1/{extracteur,extracteur-cli}.1.gz \
    usr/share/bash-completion/completions/extracteur-cli \
    usr/share/zsh/vendor-completions/_extracteur-cli \
    usr/share/fish/vendor_completions.d/extracteur-cli.fish \
    usr/share/doc/extracteur/changelog.gz; do
    [ -f "$root/$file" ] || fail "the package lacks /$file"
done
zcat "$root/usr/share/man/man1/extracteur-cli.1.gz" 2>/dev/null | grep -q -- '\\-\\-unique' ||
    fail "the page of extracteur-cli lacks --unique"

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb"): all checks passed"
