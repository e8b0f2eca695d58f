#!/usr/bin/env bash
# Fuzzes one of the readers of files from outside on its seeds:
#   fuzz/run-reader-fuzz.sh session [SECONDS]    the scan session file reader, fuzz/corpus-session
#   fuzz/run-reader-fuzz.sh metadata [SECONDS]   the photo metadata reader, fuzz/corpus-metadata
#   fuzz/run-reader-fuzz.sh reassembly [SECONDS] the search for a damaged photo's pieces over a
#                                                volume of fuzzer bytes, fuzz/corpus-reassembly
# (default 600 seconds). Builds the "fuzz" preset first. Prints runs, coverage and peak memory;
# exits non-zero on a crash, leak, hang or sanitizer report (the input is kept in fuzz-crashes/).
set -euo pipefail
cd "$(dirname "$0")/.."
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan-suppressions.txt}
reader=${1:?usage: fuzz/run-reader-fuzz.sh session|metadata|reassembly [SECONDS]}
seconds=${2:-600}
case "$reader" in
  session) max_len=65536 ;;
  metadata) max_len=131072 ;;  # the head of a photo, where its metadata lies
  reassembly) max_len=65536 ;;  # a small photo in pieces and what lies around them
  *) echo "run-reader-fuzz: unknown reader '$reader' (session, metadata or reassembly)" >&2; exit 2 ;;
esac
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${reader}_fuzz" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p fuzz-crashes
cp "fuzz/corpus-$reader"/* "$work"/
"build/fuzz/fuzz/${reader}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len="$max_len" \
  -artifact_prefix="fuzz-crashes/$reader-" -print_final_stats=1 "$work" 2>&1 |
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|DONE|ERROR|SUMMARY|cov:.*(INITED|DONE)'
