#!/usr/bin/env bash
# Names, folders and times from the card's file system, on the names cards (bench/make-names-cards.py:
# FAT32, exFAT and NTFS cards with a history), side by side with photorec in the same run. For each
# card: exact recovery with the card's names read (after) and without (QUORVEX_READ_CARD_FILE_SYSTEMS=0,
# as before), and photorec; the figures are those of bench/score-names.py:
#   <card>_named_right / _named_wrong (must be 0) / _live_unnamed / _exact_files / _live_in_pieces_exact
#   <card>_before_exact_files, photorec_<card>_exact_files
# and what reading the file system costs an exact scan (best of N, warm page cache):
#   fat32_names_overhead    scan time with the names read / without, minus 1 (target: at most 0.05)
#   no_fs_names_overhead    the same on the photo card, which holds no file system (target: 0)
# The cards are made once under build/bench/names (root is needed for the exFAT and NTFS cards).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
cli=build/release/cli/quorvex-cli
photos=build/bench/eval/photos
work=build/bench/names
runs=${QUORVEX_BENCH_RUNS:-5}
[ -d "$photos" ] || { echo "run-names-eval: run bench/run-recovery-eval.sh once first (it fetches the photographs)" >&2; exit 1; }
mkdir -p "$work"
for card in fat32 exfat ntfs; do
  [ -f "$work/$card/card.img" ] || python3 bench/make-names-cards.py "$photos" "$work" "$card"
done

best_of() {
  local n=$1 best="" start end t
  shift
  for ((i = 0; i < n; i++)); do
    start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    end=$EPOCHREALTIME
    t=$(python3 -c "print($end - $start)")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $t < $best else 1)"; then best=$t; fi
  done
  echo "$best"
}

for card in fat32 exfat ntfs; do
  [ -f "$work/$card/card.img" ] || continue
  out=$work/$card-out
  rm -rf "$out" && mkdir -p "$out"
  img=$work/$card/card.img
  "$cli" scan "$img" --exact --json --out "$out/ours" >"$out/ours.json" 2>/dev/null
  QUORVEX_READ_CARD_FILE_SYSTEMS=0 "$cli" scan "$img" --exact --json --out "$out/before" >"$out/before.json" 2>/dev/null
  # Every sector, not only the file system's free space: the live files count too.
  mkdir -p "$out/photorec"
  photorec /d "$out/photorec/recup" /cmd "$img" \
    partition_none,options,paranoid,keep_corrupted_file_no,fileopt,everything,enable,wholespace,search >/dev/null 2>&1 || true
  ours=$(python3 bench/score-names.py "$work/$card" ours "$out/ours.json" "$out/ours")
  before=$(python3 bench/score-names.py "$work/$card" photorec - "$out/before")
  theirs=$(python3 bench/score-names.py "$work/$card" photorec - "$out/photorec")
  python3 - "$card" "$ours" "$before" "$theirs" <<'PY'
import json, sys
card, ours, before, theirs = sys.argv[1], *map(json.loads, sys.argv[2:])
for key in ("named_right", "named_wrong", "live_unnamed", "could_be_named", "exact_files", "live_in_pieces_exact",
            "live_in_pieces", "planted_intact"):
    print(f"{card}_{key}={ours[key]}")
print(f"{card}_before_exact_files={before['exact_files']}")
print(f"photorec_{card}_exact_files={theirs['exact_files']}")
PY
done

# What reading the file system costs: the FAT32 card, and a card without one.
overhead() {
  local img=$1 with without
  cat "$img" >/dev/null
  with=$(best_of "$runs" "$cli" scan "$img" --exact)
  without=$(best_of "$runs" env QUORVEX_READ_CARD_FILE_SYSTEMS=0 "$cli" scan "$img" --exact)
  python3 -c "print(f'{$with / $without - 1:.3f}  (with {$with:.3f} s, without {$without:.3f} s)')"
}
echo "fat32_names_overhead=$(overhead "$work/fat32/card.img")"
[ -f build/bench/eval/photo-card/card.img ] && echo "no_fs_names_overhead=$(overhead build/bench/eval/photo-card/card.img)"
