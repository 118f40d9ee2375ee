#!/bin/sh
# Installs what is missing, builds pliftcmd and converts the bundled sample
# faxes in samples/ into JPEG pages under out/samples/.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh release
rm -rf out/samples
mkdir -p out/samples
./build/release/pliftcmd /d=samples /sd=out/samples /log=out/plflog.txt
echo
echo "JPEG pages written to $(pwd)/out/samples (log: $(pwd)/out/plflog.txt)"
