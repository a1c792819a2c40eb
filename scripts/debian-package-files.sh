#!/usr/bin/env bash
# Adds to a staged install tree (PREFIX is its /usr) what a Debian package must carry in
# share/doc/carconv: "copyright" (the licence, which takes the place of LICENSE there) and
# "changelog.gz", made from CHANGELOG.md in the Debian changelog format; and compresses the
# manual pages and the changelog with gzip -9n, as Debian policy asks.
# Usage: debian-package-files.sh PREFIX SOURCE_DIR VERSION MAINTAINER
set -euo pipefail
prefix=$1
source=$2
version=$3
maintainer=$4
doc="$prefix/share/doc/carconv"

[ -f "$doc/LICENSE" ] || { echo "debian-package-files.sh: no $doc/LICENSE" >&2; exit 1; }
{ printf 'carconv\n\n'; cat "$doc/LICENSE"; } >"$doc/copyright"
rm "$doc/LICENSE"

# CHANGELOG.md has "## VERSION (YYYY-MM-DD)" headings, each followed by "- " items whose lines go
# on indented by two spaces; each heading becomes one Debian changelog entry.
newest=$(sed -n 's/^## \([^ ]*\) .*/\1/p' "$source/CHANGELOG.md" | head -n 1)
if [ "$newest" != "$version" ]; then
    echo "CHANGELOG.md: the newest entry is '$newest', but the version is $version:" \
        "add an entry for it" >&2
    exit 1
fi
awk -v maintainer="$maintainer" '
    function close_entry() {
        if (open)
            printf "\n -- %s  %s\n", maintainer, date
        open = 0
    }
    /^## / {
        if ($0 !~ /^## [^ ]+ \([0-9]+-[0-9]+-[0-9]+\)$/) {
            print "CHANGELOG.md: a heading must read \"## VERSION (YYYY-MM-DD)\": " $0 > "/dev/stderr"
            exit 1
        }
        close_entry()
        if (entries++)
            print ""
        day = substr($3, 2, 10)
        command = "date -u -R -d \"" day " 12:00\""
        if ((command | getline date) <= 0) {
            print "CHANGELOG.md: bad date " day > "/dev/stderr"
            exit 1
        }
        close(command)
        printf "carconv (%s) unstable; urgency=medium\n\n", $2
        open = 1
        next
    }
    open && /^- / { sub(/^- /, ""); print "  * " $0; next }
    open && /^  [^ ]/ { print "  " $0; next }
    END { close_entry() }' "$source/CHANGELOG.md" >"$doc/changelog"

gzip -9nf "$doc/changelog"
find "$prefix/share/man" -type f -name '*.[1-9]' -exec gzip -9nf {} +
