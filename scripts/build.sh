#!/bin/sh
# Configures and builds one preset (release by default; "sanitize" for the
# AddressSanitizer and UndefinedBehaviorSanitizer build).
set -eu
cd "$(dirname "$0")/.."
preset="${1:-release}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
