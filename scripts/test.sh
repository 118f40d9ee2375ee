#!/bin/sh
# Installs what is missing (test oracles included), builds, and runs every
# test twice: in a Release build (with the window and its widget tests,
# offscreen) and under AddressSanitizer and UndefinedBehaviorSanitizer. The
# Release tests run once more with the fax corpus pointed at a folder that
# does not exist, as a checkout standing alone has it: what needs the corpus
# must skip, everything else must pass without it. Then it builds everything
# without Qt and Tesseract, as servers have it, and runs there the tests of the window's
# logic, of conversions and of the command line.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --test
for preset in release sanitize noqt; do
    ./scripts/build.sh "$preset"
    ctest --preset "$preset" -j "$(nproc)"
    if [ "$preset" = release ]; then
        echo "Release tests again, without the fax corpus:"
        PAGELIFT_CORPUS="$(pwd)/build/no-corpus-here" ctest --preset release -j "$(nproc)"
    fi
done
