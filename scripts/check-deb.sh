#!/usr/bin/env bash
# Proves a Debian package of carconv on this machine (root, CI's throwaway machine): installs it
# with dpkg -i, runs the installed /usr/bin/carconv (--version, and a conversion of a generated
# sample package), checks that man finds the manual page, removes it with dpkg -r, and checks that
# the machine is as it was: the same packages in the same states, and every path the package
# carries present afterwards exactly when it was present before.
# Usage: check-deb.sh PACKAGE.deb SAMPLE_GENERATOR
set -euo pipefail
deb=$(realpath "$1")
samples=$(realpath "$2")
fail() { echo "check-deb.sh: FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "installing a package needs root"
name=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -qv "not-installed"; then
    fail "$name is already known to dpkg; removing it afterwards would not leave the machine as it was"
fi

work=$(mktemp -d)
installed=0
cleanup() {
    [ "$installed" -eq 0 ] || dpkg -r "$name" >/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

packages_state() { dpkg-query -W -f='${Package}:${Architecture} ${Version} ${Status}\n' | sort; }
# Every path in the package, and whether it exists: the file list of the package as dpkg-deb
# prints it ("./usr/bin/carconv", directories with a trailing slash).
paths_state() {
    dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^$' |
        while read -r path; do
            if [ -e "$path" ] || [ -L "$path" ]; then echo "present $path"; else echo "absent  $path"; fi
        done
}
packages_state >"$work/packages.before"
paths_state >"$work/paths.before"

echo "== dpkg -i $deb"
installed=1
dpkg -i "$deb"

echo "== /usr/bin/carconv --version"
/usr/bin/carconv --version | tee "$work/version"
head -n 1 "$work/version" | grep -q "^carconv $version\( (commit [^)]*)\)\?$" ||
    fail "/usr/bin/carconv --version does not name $version"

echo "== man -w carconv"
page=$(man -w carconv) || fail "man does not find the carconv page"
echo "$page"
[ "$page" = /usr/share/man/man1/carconv.1.gz ] || fail "man finds $page, not the installed page"

echo "== conversion of a generated sample with /usr/bin/carconv"
# HOME and the XDG folders inside the work folder: the run leaves nothing in root's home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
"$samples" "$work/samples" --seed 3 >/dev/null
/usr/bin/carconv install-templates --from "$work/samples/game/data/cars/fm50/car.viv" \
    --templates "$work/templates"
/usr/bin/carconv convert "$work/samples/full.viv" "$work/full-v4.viv" --templates "$work/templates"
"$samples" --describe "$work/samples/full.viv" "$work/full-v4.viv" | tail -n 3

echo "== dpkg -r $name"
dpkg -r "$name"
installed=0

packages_state >"$work/packages.after"
paths_state >"$work/paths.after"
diff -u "$work/packages.before" "$work/packages.after" ||
    fail "dpkg's package list differs from before the installation"
diff -u "$work/paths.before" "$work/paths.after" ||
    fail "paths of the package differ from before the installation"
echo "ok: $deb installed, ran, and was removed without a trace"
