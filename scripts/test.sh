#!/bin/sh
# Installs what is missing (test oracles included), builds, and runs every
# test three times: in a Release build (with the window and its widget tests,
# offscreen), under AddressSanitizer and UndefinedBehaviorSanitizer, and in a
# build without Qt, as servers have it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --test
for preset in release sanitize noqt; do
    ./scripts/build.sh "$preset"
    ctest --preset "$preset" -j "$(nproc)"
done
