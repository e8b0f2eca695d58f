#!/usr/bin/env bash
# Fuzzes the photo metadata reader on the seed photos in fuzz/corpus-metadata.
#   fuzz/run-metadata-fuzz.sh [SECONDS]   (default 600)
# Builds the "fuzz" preset first. Prints runs, coverage and peak memory; exits non-zero on a
# crash, leak, hang or sanitizer report (the input is kept in fuzz-crashes/).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target metadata_fuzz >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p fuzz-crashes
cp fuzz/corpus-metadata/* "$work"/
build/fuzz/fuzz/metadata_fuzz -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=131072 \
  -artifact_prefix=fuzz-crashes/metadata- -print_final_stats=1 "$work" 2>&1 |
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|DONE|ERROR|SUMMARY|cov:.*(INITED|DONE)'
