#!/usr/bin/env bash
# `carconv --version` names the version set in CMakeLists.txt and, in a git checkout, the commit
# the program was built from, as `git describe --always --dirty` tells it now: a stale commit
# (taken when the build was configured, not when it was built) fails here.
# Usage: check_version.sh CARCONV VERSION SOURCE_DIR
set -euo pipefail
carconv=$1
version=$2
source=$3

output=$("$carconv" --version)
first=${output%%$'\n'*}
expected="carconv $version"
top=$(git -C "$source" rev-parse --show-toplevel 2>/dev/null || true)
if [ -n "$top" ] && [ "$(realpath "$top")" = "$(realpath "$source")" ]; then
    expected="$expected (commit $(git -C "$source" describe --always --dirty))"
fi
if [ "$first" != "$expected" ]; then
    echo "carconv --version says: $first" >&2
    echo "expected:               $expected" >&2
    exit 1
fi
grep -q '^Copyright (c) [0-9]* The carconv developers$' <<<"$output" ||
    { echo "no copyright line in: $output" >&2; exit 1; }
echo "ok: $first"
