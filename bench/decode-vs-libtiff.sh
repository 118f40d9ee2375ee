#!/bin/sh
# Our CCITT decoding beside libtiff's, in-process, on the shared corpus files
# and on the pages bench/make-bench-files.sh makes. Needs a release build with
# libtiff-dev installed (scripts/install-deps.sh --test, scripts/build.sh).
#   bench/decode-vs-libtiff.sh [--repeat=N]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/build/release/bench/pagelift_decode_bench"
corpus="$root/../shared/corpus"
[ -x "$bench" ] || { echo "$bench is missing: install libtiff-dev and build the release preset" >&2; exit 1; }
pages="$(mktemp -d)"
trap 'rm -rf "$pages"' EXIT
"$root/bench/make-bench-files.sh" "$pages"
"$bench" "${1:---repeat=21}" \
    "$corpus/g4-multi.tiff" "$corpus/fax2d.tif" "$corpus/g3test.tif" "$corpus/hopper_g4.tif" \
    "$corpus/g4-fillorder-test.tif" \
    "$pages/text-g4.tif" "$pages/noise-g3-1d.tif" "$pages/noise-g3-2d.tif" "$pages/noise-g4.tif"
