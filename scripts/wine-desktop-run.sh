#!/usr/bin/env bash
# Runs a Windows program under Wine on the X display in $DISPLAY (a virtual one: xvfb-run), in a
# throwaway Wine prefix of its own: "$WINEPREFIX-desktop", or wine-prefix-desktop/ in the current
# directory. A Wine prefix keeps the display it was first used with for as long as its server
# runs, so the prefix that wine-run.sh uses without a display is never shared with this one.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    echo "wine-desktop-run.sh: no X display (run it under xvfb-run)" >&2
    exit 1
fi
export WINEPREFIX="${WINEPREFIX:-$PWD/wine-prefix}-desktop"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
# A server left from an earlier run holds the display of that run, which is gone.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
"$wineserver" -k 2>/dev/null && "$wineserver" -w 2>/dev/null || true
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
exec "$wine" "$@"
