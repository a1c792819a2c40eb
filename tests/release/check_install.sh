#!/usr/bin/env bash
# `cmake --install` of a build puts exactly the program, its manual page, the README and the
# licence (and the desktop files, where the source has them) under a prefix, and nothing else of
# the build: no sample generator, benchmark or test programs. The installed program runs, and
# its manual page has a section for every command the program lists, the hand-written sections,
# and no formatting warnings. Where the build has the GTK module, the program does not link GTK
# itself and finds the installed module.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR VERSION [GTK_MODULE_DIR]
set -euo pipefail
build=$1
source=$2
version=$3
module_dir=${4:-}
prefix="$build/install-check"
rm -rf "$prefix"
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/carconv
share/doc/carconv/LICENSE
share/doc/carconv/README.md
share/man/man1/carconv.1"
[ -f "$build/carconv-gtk.so" ] && expected+=$'\n'"$module_dir/carconv-gtk.so"
[ -f "$source/data/carconv.desktop" ] && expected+=$'\nshare/applications/carconv.desktop'
[ -f "$source/data/carconv.xml" ] && expected+=$'\nshare/mime/packages/carconv.xml'
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
expected=$(sort <<<"$expected")
[ "$installed" = "$expected" ] ||
    fail "installed files differ from the expected ones:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"

empty=$(cd "$prefix" && find . -type d -empty)
[ -z "$empty" ] || fail "empty directories installed: $empty"
cmp -s "$source/LICENSE" "$prefix/share/doc/carconv/LICENSE" || fail "LICENSE differs"
"$prefix/bin/carconv" --version | head -n 1 | grep -q "^carconv $version\b" ||
    fail "installed carconv --version does not name $version"

if [ -f "$build/carconv-gtk.so" ]; then
    needed=$(readelf -d "$prefix/bin/carconv" | grep NEEDED || true)
    ! grep -qE 'lib(gtk|gdk|glib|gobject|gio)-' <<<"$needed" ||
        fail "the installed carconv links the desktop libraries itself:"$'\n'"$needed"
    # A run without a command on a display that cannot be opened: the module is found and
    # loaded (it cannot open the display, which is no fault), so no note says it is missing.
    home="$prefix/home"
    mkdir -p "$home"
    errors=$(cd "$home" && env -i PATH=/usr/bin:/bin HOME="$home" CARCONV_TEMPLATES="$home" \
        DISPLAY=:4711 GDK_BACKEND=x11 "$prefix/bin/carconv" </dev/null 2>&1 >/dev/null || true)
    ! grep -q "no dialog windows" <<<"$errors" ||
        fail "the installed carconv does not find its GTK module:"$'\n'"$errors"
    rm -rf "$home"
fi

page="$prefix/share/man/man1/carconv.1"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page has formatting warnings:"$'\n'"$warnings"
grep -q "^\.TH CARCONV \"1\" .*\"carconv $version" "$page" || fail "the page title lacks $version"
for section in SYNOPSIS DESCRIPTION OPTIONS COMMANDS '"EXIT STATUS"' ENVIRONMENT FILES; do
    grep -q "^\.SH $section\$" "$page" || fail "the manual page has no section $section"
done
commands=$("$prefix/bin/carconv" --help | awk '/^Subcommands:$/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || fail "carconv --help lists no commands"
for command in $commands; do
    grep -q "^\.SS \"carconv $command\"\$" "$page" || fail "the manual page lacks the command $command"
    # Every option of the command's help appears in its section.
    for option in $("$prefix/bin/carconv" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        awk -v cmd="carconv $command" -v opt="${option//-/\\\\-}" '
            /^\.SS / { on = ($0 == ".SS \"" cmd "\"") }
            on && index($0, opt) { found = 1 }
            END { exit !found }' "$page" || fail "the manual page lacks $option of $command"
    done
done
echo "ok: $(wc -l <<<"$installed") files installed; manual page with $(wc -w <<<"$commands") commands"
