#!/usr/bin/env bash
# Installs the Debian packages that building and testing carconv need. As root it installs what is
# missing with apt-get; otherwise it names the missing packages and fails. A package named with
# an architecture (wine32:i386) has that architecture added to dpkg first.
set -euo pipefail

packages=(cmake make g++ pkgconf googletest libgtest-dev libcli11-dev libinih-dev
          nlohmann-json3-dev libfmt-dev libstb-dev "$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

architectures=()
for p in "${missing[@]}"; do
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
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
