#!/usr/bin/env bash
# Writes the manual page with help2man from what the program itself says: `carconv --help` and
# `--version`, a COMMANDS section made of each command's --help, and the hand-written sections of
# SECTIONS (help2man's include format) for what the help text does not say.
# Usage: make-manpage.sh CARCONV SECTIONS OUTPUT
set -euo pipefail
carconv=$1
sections=$2
output=$3
include="$output.h2m"

# The commands, as `carconv --help` lists them under "Subcommands:".
commands=$("$carconv" --help | awk '/^[A-Za-z]+:$/ { in_list = ($0 == "Subcommands:"); next }
                                    in_list && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || { echo "make-manpage.sh: $carconv --help lists no commands" >&2; exit 1; }

# One command's --help (CLI11's layout: description, "Usage:" line, then headed lists of
# two-column items whose descriptions start in column 31 or on the next line) as roff.
command_section() {
    "$carconv" "$1" --help | awk '
        function roff(s) {
            gsub(/\\/, "\\e", s)
            if (s ~ /^[.\047[\/]/)   # roff requests; help2man section and placement lines
                s = "\\&" s
            return s
        }
        function options(s,    head, lead, done) {   # --name and -x: minus signs, not hyphens
            s = roff(s)
            while (match(s, /(^|[ ,(\[])--?[a-z][a-z0-9-]*/)) {
                head = substr(s, 1, RSTART - 1)
                lead = substr(s, RSTART, RLENGTH)
                gsub(/-/, "\\-", lead)
                done = done head lead
                s = substr(s, RSTART + RLENGTH)
            }
            s = done s
            return s
        }
        function term(s,    name) {   # the option or argument name in bold, the rest roman
            name = s
            sub(/ .*/, "", name)
            return "\\fB" options(name) "\\fR" options(substr(s, length(name) + 1))
        }
        /^Usage: / {
            sub(/^Usage: /, "")
            seen_usage = 1
            name = $1 " " $2
            args = $0
            sub(/^[^ ]+ [^ ]+ ?/, "", args)
            printf ".SS \"%s\"\n.B %s\n%s\n.PP\n%s\n", name, name, options(args), options(text)
            next
        }
        !seen_usage && !/^Usage: / && NF { text = text (text == "" ? "" : " ") $0; next }
        /^[A-Za-z]+:$/ || !NF { next }
        substr($0, 1, 30) ~ /^ +$/ { sub(/^ +/, ""); print options($0); next }
        /^  [^ ]/ {
            if (length($0) > 30 && substr($0, 29, 2) == "  " && substr($0, 31, 1) != " ") {
                item = substr($0, 3, 28); sub(/ +$/, "", item)
                printf ".TP\n%s\n%s\n", term(item), options(substr($0, 31))
            } else {
                item = substr($0, 3); sub(/ +$/, "", item)
                printf ".TP\n%s\n", term(item)
            }
        }'
}

{
    echo "[COMMANDS]"
    for command in $commands; do
        command_section "$command"
    done
    echo
    cat "$sections"
} >"$include"

help2man --no-info --section=1 \
    --name="convert racing game car packages from the version-3 to the version-4 layout" \
    --include="$include" --output="$output" "$carconv"
