#!/usr/bin/env bash
# Writes the texts of a Windows zip into OUTDIR, with CR LF line ends for Notepad: README.txt (the
# README's opening paragraph and its "## Windows" section) and LICENSE.txt.
# Usage: windows-texts.sh SOURCE_DIR OUTDIR VERSION
set -euo pipefail
source=$1
out=$2
version=$3

crlf() { sed 's/\r*$/\r/'; }

readme=$(awk -v version="$version" '
    NR == 1 { print "carconv " version " for Windows"; print ""; next }
    !intro_done && NF { in_intro = 1; print; next }
    in_intro && !NF { intro_done = 1; in_intro = 0; print ""; next }
    /^## / { in_windows = ($0 == "## Windows") }
    in_windows' "$source/README.md")
grep -q '^## Windows$' <<<"$readme" || { echo "windows-texts.sh: README.md has no '## Windows'" >&2; exit 1; }
crlf <<<"$readme" >"$out/README.txt.new"
crlf <"$source/LICENSE" >"$out/LICENSE.txt.new"
mv "$out/README.txt.new" "$out/README.txt"
mv "$out/LICENSE.txt.new" "$out/LICENSE.txt"
