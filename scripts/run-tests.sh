#!/usr/bin/env bash
# Builds and runs the whole test suite: everything in the optimised build, then the engine and
# CLI tests again under AddressSanitizer + UndefinedBehaviorSanitizer, and the threaded scan and
# save tests under ThreadSanitizer, and the markup fuzz target (clang, libFuzzer) for a short run on
# its seed corpus. `--quick` runs the optimised build only.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(release asan tsan fuzz)
[ "${1:-}" = "--quick" ] && presets=(release)
# CI also builds the Debian package, installs it and checks it (this needs root).
package=0
[ "${CI:-}" = "true" ] || [ "${1:-}" = "--package" ] && package=1

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan-suppressions.txt}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

for preset in "${presets[@]}"; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = tsan ]; then
    cmake --build --preset "$preset" --target threaded-tests  # the only tests it runs
  else
    cmake --build --preset "$preset"
  fi
  echo "=== ${preset}: tests"
  # ThreadSanitizer cannot map its shadow memory with the kernel's full address randomisation.
  runner=()
  if [ "$preset" = tsan ] && command -v setarch >/dev/null; then
    runner=(setarch "$(uname -m)" -R)
  fi
  if [ "$preset" = fuzz ]; then
    corpus=$(mktemp -d)
    cp fuzz/corpus/* "$corpus"/
    build/fuzz/fuzz/markup_fuzz -max_total_time="${QUORVEX_FUZZ_SECONDS:-8}" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 "$corpus" 2>&1 | tail -n 5
    rm -rf "$corpus"
    # Exact recovery's format targets: a short run each on the seed corpora kept in the repo.
    for dir in fuzz/corpus-formats/*/; do
      format=$(basename "$dir")
      corpus=$(mktemp -d)
      cp "$dir"* "$corpus"/
      build/fuzz/fuzz/format_fuzz_$format -max_total_time="${QUORVEX_FORMAT_FUZZ_SECONDS:-4}" -timeout=20 \
        -rss_limit_mb=2048 -max_len=70000 "$corpus" 2>&1 | grep -E '^Done|ERROR|SUMMARY' | sed "s/^/$format: /"
      rm -rf "$corpus"
    done
    # The readers of files from outside (scan sessions, photo metadata) and the search for a damaged
    # photo's pieces, on the seeds in the repo.
    for reader in session:65536 metadata:131072 reassembly:65536; do
      corpus=$(mktemp -d)
      cp "fuzz/corpus-${reader%%:*}"/* "$corpus"/
      build/fuzz/fuzz/"${reader%%:*}"_fuzz -max_total_time="${QUORVEX_FORMAT_FUZZ_SECONDS:-4}" -timeout=20 \
        -rss_limit_mb=2048 -max_len="${reader##*:}" "$corpus" 2>&1 | grep -E '^Done|ERROR|SUMMARY' |
        sed "s/^/${reader%%:*}: /"
      rm -rf "$corpus"
    done
    # What a card's file system remembers, on seeds written with the file systems' own tools.
    corpus=$(mktemp -d)
    bash fuzz/make-filesystem-seeds.sh "$corpus" >/dev/null
    build/fuzz/fuzz/filesystem_fuzz -max_total_time="${QUORVEX_FORMAT_FUZZ_SECONDS:-4}" -timeout=30 -rss_limit_mb=2048 \
      -max_len=262144 "$corpus" 2>&1 | grep -E '^Done|ERROR|SUMMARY' | sed "s/^/filesystem: /"
    rm -rf "$corpus"
    # The image service's targets: a short run each on seeds from our own encoders.
    if [ -x build/fuzz/fuzz/image_fuzz_jpeg ]; then
      cmake --build --preset release --target quorvex-make-fuzz-seeds >/dev/null
      seeds=$(mktemp -d)
      build/release/tests/fixtures/quorvex-make-fuzz-seeds "$seeds"
      for format in jpeg png tiff bmp gif; do
        (cd "$seeds" && "$OLDPWD/build/fuzz/fuzz/image_fuzz_$format" -max_total_time="${QUORVEX_IMAGE_FUZZ_SECONDS:-4}" \
          -timeout=20 -rss_limit_mb=4096 "$seeds/$format" 2>&1 | grep -E '^Done|ERROR|SUMMARY')
      done
      rm -rf "$seeds"
    fi
    continue
  fi
  "${runner[@]}" ctest --preset "$preset" -j2
  # A test that could not run on this machine says why; the reason is shown, not only counted.
  grep -h -o 'access-e2e: skipped: .*\|^e2e: .* is not installed; skipped' "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null || true
done

if [ "$package" -eq 1 ]; then
  echo "=== package: build, install, check"
  bash scripts/test-package.sh
fi
