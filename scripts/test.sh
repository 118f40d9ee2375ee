#!/bin/sh
# Installs what is missing (test oracles included), builds, and runs every
# test twice: in a Release build and under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --test
for preset in release sanitize; do
    ./scripts/build.sh "$preset"
    ctest --preset "$preset" -j "$(nproc)"
done
