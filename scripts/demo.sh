#!/usr/bin/env bash
# Demo: generates made-up version-3 car packages and a pretend version-4 game folder, installs the
# template files from that folder, converts every sample car, tells what the conversion did and
# draws a preview of each converted car.
# Every carconv call runs with HOME and the XDG folders inside the build folder, so the demo never
# reads or changes the user's own settings or templates.
set -euo pipefail
build=${1:-build}
build=$(cd "$build" && pwd)
carconv="$build/carconv"
samples="$build/carconv-samples"
demo="$build/demo"

rm -rf "$demo"
mkdir -p "$demo/home" "$demo/converted"
export HOME="$demo/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export WINEPREFIX="$HOME/.wine"
unset CARCONV_TEMPLATES

echo "== carconv-samples $demo/samples --seed 1"
"$samples" "$demo/samples" --seed 1 >/dev/null
echo "   sample cars: $(cd "$demo/samples" && ls -- *.viv | tr '\n' ' ')"
echo "   pretend game: $demo/samples/game/data/cars/fm50/car.viv"
echo
echo "== carconv install-templates --search $demo/samples/game --templates $demo/templates"
"$carconv" install-templates --search "$demo/samples/game" --templates "$demo/templates"

for input in "$demo"/samples/*.viv; do
    name=$(basename "$input" .viv)
    output="$demo/converted/$name.viv"
    echo
    echo "== carconv convert $input $output"
    "$carconv" convert "$input" "$output" --templates "$demo/templates"
    echo "-- carconv list $output"
    "$carconv" list "$output"
    echo "-- what the conversion did"
    "$samples" --describe "$input" "$output"
    echo "-- carconv preview $output"
    # A car without parts (the minimal sample) has nothing to draw: the error says so.
    if "$carconv" preview "$output"; then
        echo "   $demo/converted/$name-preview.png"
    fi
done
echo
echo "demo done: converted packages and their previews in $demo/converted"
