#!/bin/sh
# Fuzzes the readers and decoders: each libFuzzer target in turn for SECONDS
# (default 60), starting from its kept corpus in fuzz/corpus/<target> and the
# regression inputs in tests/data. Inputs the run found that add coverage are
# merged back into fuzz/corpus/<target>, so the kept corpus stays the smallest
# set that covers what every run so far reached. A crash, leak or timeout
# leaves its input in out/fuzz/ and makes the script fail.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET ...]
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --fuzz
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"ccitt_decoders_fuzz raw_analysis_fuzz tiff_reader_fuzz container_readers_fuzz image_containers_fuzz page_writers_fuzz group4_pdf_fuzz sff_reader_fuzz jbig_reader_fuzz"}

cmake --preset fuzz > /dev/null
cmake --build build/fuzz -j"$(nproc)" > /dev/null

seeds_of() {
    case $1 in
        ccitt_decoders_fuzz) echo tests/data/ccitt_regressions ;;
        raw_analysis_fuzz) echo tests/data/raw_regressions ;;
        tiff_reader_fuzz) echo tests/data/tiff_regressions ;;
        container_readers_fuzz | image_containers_fuzz) echo tests/data/container_regressions ;;
        sff_reader_fuzz) echo tests/data/sff_regressions ;;
        jbig_reader_fuzz) echo tests/data/jbig_regressions ;;
    esac
}

mkdir -p out/fuzz
failed=0
for target in $targets; do
    kept="fuzz/corpus/$target"
    grown=$(mktemp -d)
    mkdir -p "$kept"
    program="build/fuzz/fuzz/$target"
    echo "$target: $seconds s"
    if ! "$program" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=4096 -timeout=60 \
        -artifact_prefix="out/fuzz/$target-" "$grown" "$kept" $(seeds_of "$target") \
        > "out/fuzz/$target.log" 2>&1; then
        echo "$target: FAILED, see out/fuzz/$target.log" >&2
        failed=1
    fi
    grep -E '^Done [0-9]+ runs' "out/fuzz/$target.log" || true
    # Keep only what adds coverage to the kept corpus.
    "$program" -merge=1 "$kept" "$grown" > "out/fuzz/$target-merge.log" 2>&1
    rm -rf "$grown"
done
exit $failed
