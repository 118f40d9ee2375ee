#!/bin/sh
# Installs what is missing (test oracles included), builds, and runs every
# test twice: in a Release build (with the window and its widget tests,
# offscreen) and under AddressSanitizer and UndefinedBehaviorSanitizer. Then
# it builds everything without Qt, as servers have it, and runs there the
# tests of the window's logic, of conversions and of the command line.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --test
for preset in release sanitize noqt; do
    ./scripts/build.sh "$preset"
    ctest --preset "$preset" -j "$(nproc)"
done
