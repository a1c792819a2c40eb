#!/usr/bin/env bash
# Proves a Windows zip: it holds exactly carconv.exe, carconvw.exe, README.txt and LICENSE.txt;
# the programs are stripped, built for the zip's architecture and import only DLLs that Windows
# itself has; the texts have CR LF line ends. Unpacked into an empty folder, its carconv.exe runs
# under Wine: --version names the zip's version, and it converts a generated sample package.
# Usage: check-windows-zip.sh carconv-VERSION-win64.zip|carconv-VERSION-win32.zip SAMPLES_EXE
set -euo pipefail
zip=$(realpath "$1")
samples=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "check-windows-zip.sh: FAIL: $(basename "$zip"): $*" >&2; exit 1; }

name=$(basename "$zip" .zip)
version=${name#carconv-}
version=${version%-win*}
case "$name" in
*-win64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 ;;
*-win32) objdump=i686-w64-mingw32-objdump format=pei-i386 ;;
*) fail "the name is not carconv-VERSION-win64.zip or -win32.zip" ;;
esac

entries=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
[ "$entries" = "LICENSE.txt README.txt carconv.exe carconvw.exe " ] || fail "it holds: $entries"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")

# DLLs every Windows has; anything else (libstdc++-6.dll, libwinpthread-1.dll, ...) would have
# to travel with the programs.
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll
              oleaut32.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll bcrypt.dll "
system_dlls=${system_dlls//$'\n'/ }  # the line break counts as a separator too
for exe in carconv.exe carconvw.exe; do
    headers=$("$objdump" -h "$work/unpacked/$exe")
    grep -q "file format $format" <<<"$headers" || fail "$exe is not $format"
    ! grep -q ' \.debug' <<<"$headers" || fail "$exe carries debug sections"
    "$objdump" -t "$work/unpacked/$exe" | grep -q '^no symbols$' || fail "$exe carries symbols"
    for dll in $("$objdump" -p "$work/unpacked/$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z'); do
        [[ "$system_dlls" == *" $dll "* ]] || fail "$exe needs $dll"
    done
done
for text in README.txt LICENSE.txt; do
    ! grep -q $'[^\r]$\|^$' "$work/unpacked/$text" || fail "$text has lines without CR LF"
done
grep -q $'^## Windows\r$' "$work/unpacked/README.txt" || fail "README.txt lacks the Windows section"
grep -q '^MIT License' "$work/unpacked/LICENSE.txt" || fail "LICENSE.txt is not the licence"

# 32-bit Wine needs a kernel that runs 32-bit programs, which not every 64-bit one does (no IA-32
# emulation): there, the 32-bit programs cannot run at all, and the check ends with the above.
if [ "$format" = pei-i386 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "ok: $(basename "$zip"), not run: this machine does not execute 32-bit programs" \
        "(/usr/lib/wine/wine from wine32 is missing or cannot start)"
    exit 0
fi

# Under Wine, in a prefix beside the zip, from a folder that holds nothing but the samples.
export WINEPREFIX="$(dirname "$zip")/wine-prefix"
wine="$here/wine-run.sh"
first=$("$wine" "$work/unpacked/carconv.exe" --version | head -n 1 | tr -d '\r')
echo "$first"
[[ "$first" =~ ^carconv\ $version(\ \(commit\ [^\)]*\))?$ ]] || fail "carconv.exe --version says: $first"
mkdir "$work/run"
cd "$work/run"
"$wine" "$samples" samples --seed 5 >/dev/null
"$wine" "$work/unpacked/carconv.exe" install-templates \
    --from samples/game/data/cars/fm50/car.viv --templates templates
"$wine" "$work/unpacked/carconv.exe" convert samples/full.viv full-v4.viv --templates templates
"$wine" "$samples" --describe samples/full.viv full-v4.viv | tail -n 1
echo "ok: $(basename "$zip")"
