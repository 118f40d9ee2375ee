#!/bin/sh
# Makes the decoding benchmark's own pages, the same every time:
#   text-g4.tif        a 2548 x 3296 page of text (300 dpi letter), Group 4, one strip
#   noise-g3-1d.tif    a 1728 x 2200 page of dithered noise, Group 3 one-dimensional
#   noise-g3-2d.tif    the same page, Group 3 two-dimensional
#   noise-g4.tif       the same page, Group 4
#   dense-g3.tif       a 2464 x 3248 page filled with small text (300 dpi A4), Group 3
#                      one-dimensional: the hardest page for the image output
# The noise pages keep tiffcp's own strip size. Text lines come from pbmtext,
# noise from pgmnoise through pamditherbw, both with a fixed seed.
#   make-bench-files.sh OUTPUT_FOLDER
set -eu
out="${1:?usage: make-bench-files.sh OUTPUT_FOLDER}"
for tool in pbmtext pnmenlarge pnmpad pamcut pgmnoise pamditherbw pamtotiff tiffcp; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh --test" >&2; exit 1; }
done
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Eighty lines of text, enlarged three times so the letters have a fax page's size.
line=1
while [ "$line" -le 80 ]; do
    printf 'Line %02d: The quick brown fox jumps over the lazy dog; pack my box with five dozen jugs (%d).\n' \
        "$line" "$((line * 7919))"
    line=$((line + 1))
done | pbmtext -builtin fixed | pnmenlarge 3 > "$work/text.pbm"
pnmpad -white -left 90 -top 120 "$work/text.pbm" |
    pnmpad -white -width 2548 -height 3296 -halign 0 -valign 0 |
    pamcut -left 0 -top 0 -width 2548 -height 3296 > "$work/page.pbm"
pamtotiff -miniswhite "$work/page.pbm" > "$work/text.tif"
tiffcp -c g4 -r 3296 "$work/text.tif" "$out/text-g4.tif"

# A page as full of small print as faxes get: 130 lines enlarged twice.
line=1
while [ "$line" -le 130 ]; do
    printf 'Line %03d: %s %s\n' "$line" "Invoice 2026-$((line * 37)), item $((line * 7919 % 1000)), qty $((line % 17 + 1))," \
        "the quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs."
    line=$((line + 1))
done | pbmtext -builtin fixed | pnmenlarge 2 > "$work/dense.pbm"
pnmpad -white -left 60 -top 60 "$work/dense.pbm" |
    pnmpad -white -width 2464 -height 3248 -halign 0 -valign 0 |
    pamcut -left 0 -top 0 -width 2464 -height 3248 > "$work/dense-page.pbm"
pamtotiff -miniswhite -xres 300 -yres 300 "$work/dense-page.pbm" > "$work/dense.tif"
tiffcp -c g3 "$work/dense.tif" "$out/dense-g3.tif"

pgmnoise -randomseed=1 1728 2200 | pamditherbw -randomseed=1 2>/dev/null > "$work/noise.pbm"
pamtotiff -miniswhite "$work/noise.pbm" > "$work/noise.tif"
tiffcp -c g3:1d "$work/noise.tif" "$out/noise-g3-1d.tif"
tiffcp -c g3:2d "$work/noise.tif" "$out/noise-g3-2d.tif"
tiffcp -c g4 "$work/noise.tif" "$out/noise-g4.tif"
