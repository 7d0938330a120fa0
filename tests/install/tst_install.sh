#!/usr/bin/env bash
# Installs into a temporary DESTDIR, checks what landed there, starts the program through links
# on a virtual display, then uninstalls with make and checks that only the user's files remain.
# Arguments: build folder, source folder, "major.minor", 1 when extracteur-cli is built.
set -uo pipefail

# Launch mode, run inside xvfb-run: start LINK on SAMPLE, report its caption and whether its
# window carries an icon, close it with the quit shortcut and report its exit status.
if [ "${1:-}" = --launch ]; then
    link=$2 sample=$3
    # Leak checking belongs to the unit tests; here the X libraries' own allocations would fail it.
    QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "$link" "$sample" &
    pid=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
    if [ -z "$window" ]; then
        echo "no window"
        kill "$pid"
        exit 1
    fi
    echo "caption: $(xdotool getwindowname "$window")"
    # The icon may be set a moment after the window shows.
    for _ in $(seq 50); do
        if xprop -id "$window" _NET_WM_ICON | grep -q 'Icon ('; then
            echo "icon: yes"
            break
        fi
        sleep 0.1
    done
    xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+q
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "still running after the quit shortcut"
        kill "$pid"
    fi
    wait "$pid"
    echo "exit: $?"
    exit 0
fi

build=$1 source=$2 version=$3 with_cli=$4
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
destdir=$work/root
# A blank in the prefix: the menu entry must quote the program's path.
prefix='/opt/mes outils'
root=$destdir$prefix

if ! DESTDIR=$destdir cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
fi

# The program in a folder of its own, reached through a relative link in bin.
program=$root/lib/extracteur/extracteur
link=$root/bin/extracteur
{ [ -f "$program" ] && [ ! -L "$program" ] && [ -x "$program" ]; } ||
    fail "the program is not an executable file in lib/extracteur"
[ -L "$link" ] || fail "bin/extracteur is not a symbolic link"
case "$(readlink "$link")" in
/*) fail "bin/extracteur points at an absolute path, which breaks under DESTDIR" ;;
esac
[ "$(readlink -f "$link")" = "$(readlink -f "$program")" ] ||
    fail "bin/extracteur does not lead to the program"
if [ "$with_cli" = 1 ]; then
    { [ -f "$root/bin/extracteur-cli" ] && [ -x "$root/bin/extracteur-cli" ]; } ||
        fail "extracteur-cli is not installed in bin"
fi

# The menu entry: valid, starting the link by its quoted absolute path with one file.
desktop=$root/share/applications/extracteur.desktop
if [ -f "$desktop" ]; then
    report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
    [ -z "$report" ] || fail "desktop-file-validate has remarks: $report"
    grep -qxF 'Exec="/opt/mes outils/bin/extracteur" %f' "$desktop" ||
        fail "unexpected Exec line: $(grep '^Exec=' "$desktop")"
    grep -qx 'MimeType=\(.*;\)\?text/plain;.*' "$desktop" || fail "the menu entry does not open text/plain"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        fail "no scalable icon named \"$icon\" as the menu entry says"
else
    fail "no share/applications/extracteur.desktop"
fi

# The AppStream file: valid offline, and launching the installed menu entry.
metainfo=("$root"/share/metainfo/*.metainfo.xml)
if [ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ]; then
    report=$(appstreamcli validate --no-net "${metainfo[0]}" 2>&1) ||
        fail "appstreamcli validate: $report"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "${metainfo[0]}")
    { [ -n "$launchable" ] && [ -f "$root/share/applications/$launchable" ]; } ||
        fail "the metainfo launches \"$launchable\", which is not installed"
else
    fail "expected one file in share/metainfo, found: ${metainfo[*]}"
fi

# Every PNG of the icon theme is a PNG of the size its folder names, from 16 to 256 pixels.
for size in 16 256; do
    [ -f "$root/share/icons/hicolor/${size}x${size}/apps/extracteur.png" ] ||
        fail "no ${size}x${size} icon"
done
for png in "$root"/share/icons/hicolor/*x*/apps/extracteur.png; do
    [ -f "$png" ] || continue
    folder=$(basename "$(dirname "$(dirname "$png")")")
    read -r -d '' -a bytes < <(od -An -tu1 -N24 "$png")
    signature="${bytes[*]:0:8}"
    width=$(((bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19]))
    height=$(((bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23]))
    [ "$signature" = "137 80 78 71 13 10 26 10" ] || fail "$folder/apps/extracteur.png is no PNG"
    [ "${width}x${height}" = "$folder" ] || fail "$folder/apps/extracteur.png is ${width}x${height}"
done

# Started through a link, the program writes its settings beside the real executable and names
# and dates its caption after it, not after the link.
printf 'Jean <jean@exemple.fr>\r\n' >"$work/sample.txt"
touch -d '2021-03-05 00:30' "$program"
mkdir -p "$work/elsewhere"
ln -s "$program" "$work/elsewhere/Autre.Nom"
for started in "$link" "$work/elsewhere/Autre.Nom"; do
    touch -h -d '2019-01-01 12:00' "$started"
    rm -f "$root/lib/extracteur/extracteur.INI"
    before=$(ls -A "$(dirname "$started")")
    output=$(xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --launch "$started" "$work/sample.txt" 2>"$work/launch.log")
    caption=$(sed -n 's/^caption: //p' <<<"$output")
    [ "$caption" = "EXTRACTEUR $version | Quorvel ***{:-  | 05/03/2021" ] ||
        fail "through $started the caption is \"$caption\" ($output; $(cat "$work/launch.log"))"
    grep -qx 'icon: yes' <<<"$output" || fail "through $started the window has no icon"
    grep -qx 'exit: 0' <<<"$output" || fail "through $started: $output"
    grep -qx '\[extracteur\]' "$root/lib/extracteur/extracteur.INI" 2>/dev/null ||
        fail "through $started no settings file with the geometry beside the real executable"
    [ "$(ls -A "$(dirname "$started")")" = "$before" ] ||
        fail "through $started a file appeared beside the link: $(ls -A "$(dirname "$started")")"
done

# Uninstalling leaves the user's settings and other programs' files, and no empty folder; a purge
# also removes the settings; a second uninstall finds nothing to do and succeeds.
mkdir -p "$root/share/applications"
touch "$root/bin/autre-programme" "$root/share/applications/autre.desktop"
remaining() { (cd "$root" && find . ! -type d | sort | tr '\n' ' '); }
empty_folders() { find "$destdir" -mindepth 1 -type d -empty; }
uninstall() {
    make -s -C "$source" uninstall PREFIX="$prefix" DESTDIR="$destdir" "$@" >"$work/uninstall.log" 2>&1 ||
        { cat "$work/uninstall.log" >&2 && false; }
}

uninstall || fail "make uninstall"
[ "$(remaining)" = "./bin/autre-programme ./lib/extracteur/extracteur.INI ./share/applications/autre.desktop " ] ||
    fail "after make uninstall: $(remaining)"
[ -z "$(empty_folders)" ] || fail "empty folders left: $(empty_folders)"

uninstall PURGE=1 || fail "make uninstall PURGE=1"
[ "$(remaining)" = "./bin/autre-programme ./share/applications/autre.desktop " ] ||
    fail "after make uninstall PURGE=1: $(remaining)"
[ -z "$(empty_folders)" ] || fail "empty folders left: $(empty_folders)"

uninstall PURGE=1 || fail "make uninstall of nothing"

[ "$failures" -eq 0 ] || exit 1
echo "install, launch through links and uninstall: all checks passed"
