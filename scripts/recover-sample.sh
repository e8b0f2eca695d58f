#!/usr/bin/env bash
# Builds Quorvex, then scans the sample card image the build writes and recovers every file it
# finds into ./recovered (under recovered/recoverd/<TYPE>/), printing what it found and saved.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release

echo
echo "Scanning build/release/sample/sample-card.img ..."
build/release/cli/quorvex-cli scan build/release/sample/sample-card.img --out recovered
echo
echo "Recovered files:"
find recovered/recoverd -type f | sort
