#!/usr/bin/env bash
# Fuzzes the image service: each format's target on seeds made by our own encoders.
#   fuzz/run-image-fuzz.sh [SECONDS_PER_FORMAT]   (default 600)
# Builds the "fuzz" preset first. Exits non-zero on the first crash, leak, hang or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan-suppressions.txt}
seconds=${1:-600}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target quorvex-make-fuzz-seeds >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/release/tests/fixtures/quorvex-make-fuzz-seeds "$work/seeds"
for format in jpeg png tiff bmp gif; do
  mkdir -p "$work/corpus-$format"
  cp "$work/seeds/$format"/* "$work/corpus-$format"/
  echo "=== image_fuzz_$format for ${seconds}s"
  (cd "$work" && "$OLDPWD/build/fuzz/fuzz/image_fuzz_$format" -max_total_time="$seconds" -timeout=20 \
      -rss_limit_mb=4096 -print_final_stats=1 "corpus-$format" 2>&1 | grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|ERROR|SUMMARY')
done
