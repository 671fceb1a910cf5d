#!/bin/sh
# Renders the real main window offscreen into docs/screenshot.png: the grey
# test chart opened, shown at 75 %, the pointer over the chart's top ramp and the
# Haar read-outs filled in. The picture shown in the README.
#   scripts/screenshot.sh [OUTPUT.png]
set -eu
cd "$(dirname "$0")/.."
output="${1:-docs/screenshot.png}"
build=build   # binaryDir of the release preset
scripts/deps.sh build
[ -f "$build/build.ninja" ] || cmake --preset release
cmake --build --preset release --target screenshot
mkdir -p "$(dirname "$output")"
QT_QPA_PLATFORM=offscreen "$build/tools/screenshot" samples/chart-grey-512.png "$output" 75% 150 20
