#!/usr/bin/env bash
# Runs a Windows program under Wine without a display or installer prompts, in a throwaway Wine
# prefix: $WINEPREFIX when set, else wine-prefix/ in the current directory (the build directory
# when ctest runs it).
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-$PWD/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
# Debian's wine64 package installs the loader outside PATH (the `wine` package adds the launcher).
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
exec "$wine" "$@"
