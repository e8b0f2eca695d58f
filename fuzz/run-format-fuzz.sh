#!/usr/bin/env bash
# Fuzzes exact recovery's formats: each format's recogniser, end walker and decode check, on the
# seed corpora in fuzz/corpus-formats.
#   fuzz/run-format-fuzz.sh [SECONDS_PER_FORMAT] [FORMAT...]   (default 600, every format)
# Builds the "fuzz" preset first. Prints each target's runs, coverage and peak memory; exits
# non-zero on the first crash, leak, hang or sanitizer report (the input is kept in fuzz-crashes/).
set -euo pipefail
cd "$(dirname "$0")/.."
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan-suppressions.txt}
seconds=${1:-600}
shift || true
formats=("$@")
[ ${#formats[@]} -gt 0 ] || formats=(jpeg png gif bmp tiff riff raf mrw crw bmff ts)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p fuzz-crashes
for format in "${formats[@]}"; do
  mkdir -p "$work/corpus-$format"
  cp fuzz/corpus-formats/"$format"/* "$work/corpus-$format"/
  echo "=== format_fuzz_$format for ${seconds}s"
  build/fuzz/fuzz/format_fuzz_$format -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=70000 \
    -artifact_prefix=fuzz-crashes/$format- -print_final_stats=1 "$work/corpus-$format" 2>&1 |
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|DONE|ERROR|SUMMARY'
done
