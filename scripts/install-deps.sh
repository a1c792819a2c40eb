#!/usr/bin/env bash
# Installs the Debian packages that building and testing carconv need. As root it installs what is
# missing with apt-get; otherwise it names the missing packages and fails. A package named with
# an architecture (wine32:i386) has that architecture added to dpkg first. A package named with a
# trailing '?' (wine32:i386?) is wanted but not needed: if it cannot be installed, a warning says so
# and the rest stands.
set -euo pipefail

packages=(cmake make g++ pkgconf googletest libgtest-dev libcli11-dev libinih-dev
          nlohmann-json3-dev libfmt-dev libstb-dev "$@")

missing=()
optional=()
for p in "${packages[@]}"; do
    name=${p%\?}
    if ! dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed"; then
        if [ "$name" = "$p" ]; then missing+=("$name"); else optional+=("$name"); fi
    fi
done
[ ${#missing[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0

architectures=()
for p in "${missing[@]}" "${optional[@]}"; do
    case "$p" in
    *:*)
        arch=${p##*:}
        if [ "$arch" != "$(dpkg --print-architecture)" ] &&
            ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            architectures+=("$arch")
        fi
        ;;
    esac
done

if [ "$(id -u)" -ne 0 ]; then
    [ ${#missing[@]} -eq 0 ] && { echo "carconv could use these packages: ${optional[*]}" >&2; exit 0; }
    echo "carconv needs these packages: ${missing[*]}" >&2
    for arch in "${architectures[@]}"; do
        echo "add their architecture with: sudo dpkg --add-architecture $arch" >&2
    done
    echo "install them with: sudo apt-get update && sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
for arch in "${architectures[@]}"; do
    echo "adding the architecture $arch"
    dpkg --add-architecture "$arch"
done
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves index files of the wrong size for a while. Try again; if
# an index still fails, go on with those that came: the install below fails by itself if a package
# it needs cannot be found.
for attempt in 1 2 3; do
    apt-get update -qq && break
    if [ "$attempt" -eq 3 ]; then
        echo "apt-get update failed three times; installing from the package lists it could fetch" >&2
    else
        echo "apt-get update failed (attempt $attempt); trying again in $((attempt * 10)) s" >&2
        sleep $((attempt * 10))
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
for p in "${optional[@]}"; do
    echo "installing: $p"
    apt-get install -y -qq --no-install-recommends "$p" >/dev/null ||
        echo "warning: $p could not be installed; what needs it is left out" >&2
done
