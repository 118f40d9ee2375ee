#!/bin/sh
# Renders the sample fax pages in samples/ from text, with netpbm, ImageMagick
# and libtiff-tools (install-deps.sh --test installs them). The files are
# kept in the repository; run this only to make them anew.
set -eu
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One fax page: lines of text, enlarged, on a white page of the given size.
render_page() { # width height scale output text...
    width=$1 height=$2 scale=$3 output=$4
    shift 4
    printf '%s\n' "$@" | pbmtext -builtin fixed | pnmenlarge "$scale" > "$work/text.pbm"
    pbmmake -white "$width" "$height" > "$work/blank.pbm"
    pnmpaste "$work/text.pbm" 80 120 "$work/blank.pbm" > "$output"
}

render_page 1728 1100 4 "$work/letter1.pbm" "ZOZIV PAGELIFT SAMPLE LETTER" "" "Dear reader," \
    "this page was sent at standard" "resolution: 204 by 98 dpi." "" "Page 1 of 2"
render_page 1728 1100 4 "$work/letter2.pbm" "SAMPLE LETTER, CONTINUED" "" "Its rows are doubled when" \
    "it becomes a JPEG file, so" "the letters keep their shape." "" "Page 2 of 2"
render_page 1728 2200 6 "$work/memo.pbm" "MEMO" "" "Fine resolution," "204 by 196 dpi," "Group 4 coding."
render_page 1728 1000 5 "$work/notice.pbm" "NOTICE" "" "PackBits strips," "big-endian file."
render_page 864 400 3 "$work/receipt.pbm" "RECEIPT" "uncompressed," "least significant" "bit first"

to_tiff() { # output density polarity pbm...
    output=$1 density=$2 polarity=$3
    shift 3
    /usr/bin/convert "$@" -define quantum:polarity="$polarity" -compress None -density "$density" \
        -units PixelsPerInch "$work/plain.tif"
    tiffcp -c none "$work/plain.tif" "$output"
}

to_tiff "$work/letter.tif" 204x98 min-is-white "$work/letter1.pbm" "$work/letter2.pbm"
tiffcp -c g3 -r 128 "$work/letter.tif" samples/letter-g3.tif
to_tiff "$work/memo.tif" 204x196 min-is-white "$work/memo.pbm"
tiffcp -c g4 "$work/memo.tif" samples/memo-g4.tif
to_tiff "$work/notice.tif" 200x200 min-is-black "$work/notice.pbm"
tiffcp -B -c packbits -r 100 "$work/notice.tif" samples/notice-packbits.tif
to_tiff "$work/receipt.tif" 200x200 min-is-white "$work/receipt.pbm"
tiffcp -L -f lsb2msb -c none -r 64 "$work/receipt.tif" samples/receipt-plain.tif

# A raw Group 3 stream as fax modems left them: two pages of MH lines, least
# significant bit first, each page closed by its end-of-page sequence, and no
# header at all.
render_page 1728 1100 4 "$work/call1.pbm" "RAW FAX STREAM" "" "No header, no width," "no bit order:" \
    "all found by trial" "decoding." "" "Page 1 of 2"
render_page 1728 1100 4 "$work/call2.pbm" "RAW FAX STREAM" "" "Cut into pages by" "paper size and" \
    "resolution." "" "Page 2 of 2"
for page in call1 call2; do pbmtog3 -reversebits "$work/$page.pbm"; done > samples/call.g3
ls -l samples
