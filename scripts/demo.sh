#!/usr/bin/env bash
# Demo: packs a few files into a car package, lists it and unpacks it again.
set -euo pipefail
build=${1:-build}
carconv="$build/carconv"
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/files"
printf 'Serial Number(0)\r\n42\r\n' > "$demo/files/carp.txt"
head -c 4096 /dev/zero | tr '\0' 'x' > "$demo/files/car.fce"
printf 'hello from carconv\n' > "$demo/files/readme.txt"

echo "== carconv pack $demo/files $demo/car.viv"
"$carconv" pack "$demo/files" "$demo/car.viv"
echo "== carconv list $demo/car.viv"
"$carconv" list "$demo/car.viv"
echo "== carconv unpack $demo/car.viv $demo/unpacked"
"$carconv" unpack "$demo/car.viv" "$demo/unpacked"
diff -r "$demo/files" "$demo/unpacked" && echo "unpacked files match the originals"
