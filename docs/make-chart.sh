#!/usr/bin/env bash
# Draws the README's chart, docs/sensors.png: temperature, humidity and wind of
# examples/sensors.dat against time, written by build/kest --plot (or the kest
# that KEST names) and rendered by headless Chromium. Build kest first (cmake
# --preset release && cmake --build --preset release); Chromium comes from
# Debian's chromium package. The legend and the x axis take their names from
# the file's header.
set -euo pipefail
cd "$(dirname "$0")/.."
size=960x540

kest=$(realpath -m "${KEST:-build/kest}")
[ -x "$kest" ] || { echo "make-chart: $kest is missing; build it first" >&2; exit 1; }
chromium=$(command -v chromium || command -v chromium-browser) ||
  { echo "make-chart: chromium is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# kest runs in the scratch folder: the chart's title is the bare file name, and
# the run's logfile stays out of the repository.
cp examples/sensors.dat "$work/"
(cd "$work" && "$kest" --quiet --plot --plot-x=1 -e 2,3,5 --plot-size=$size \
  sensors.dat sensors.svg)
"$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --disable-dev-shm-usage --force-device-scale-factor=1 --hide-scrollbars \
  --user-data-dir="$work/profile" --window-size=${size/x/,} --screenshot="$work/sensors.png" \
  "file://$work/sensors.svg" </dev/null >/dev/null 2>&1
[ -s "$work/sensors.png" ] || { echo "make-chart: chromium wrote no picture" >&2; exit 1; }
cp "$work/sensors.png" docs/sensors.png
echo "docs/sensors.png"
