#!/usr/bin/env bash
# Recovery quality and speed on the evaluation cards, side by side with photorec (Debian testdisk)
# in the same run. Two cards, made from real photographs (Debian's mate-backgrounds):
#   card        1 GiB, a FAT32 history: ~110 files written, deleted and written over, some stored
#               in pieces
#   photo card  256 MiB a camera filled: camera JPEGs of several sizes back to back, 4 KiB grid
#   modern card 1 GiB of today's phones and cameras: HEIC, AVIF, WebP, phone JPEGs, MP4/MOV/3GP/
#               MTS clips (one over 100 MB), CR2, CR3, ARW, DNG, ORF, RW2, PEF, WAV, AVI; two of
#               them in two pieces (made with heif-enc and ffmpeg)
# For each (the photo card's figures are prefixed photo_card_, the modern card's modern_):
#   exact_files / photorec_exact_files   findable files recovered byte-exact
#   intact_contiguous_exact              of the files that lie contiguous and intact on the card
#   false_finds / photorec_false_finds   recovered files that start where no planted file does
#   wrong_token_files                    files of ours saved under another type than their own
#   output_vs_found_bytes                bytes written / bytes of the planted files found
#   exact_vs_photorec_speed              photorec's scan + save time / ours (warm page cache)
# The first card also:
#   fragmented_planted                   JPEGs and PNGs the card stores in 2 or 3 pieces
#   reassembled_exact / reassembled_wrong  of the files ours calls reassembled: byte-exact, or not
#   reassembled_two_piece                two-piece files reassembled byte-exact / two-piece files
# The photo card also:
#   exact_scan_photo_card_mb_s           card bytes / time of an exact scan (MB/s), and the same
#   exact_scan_photo_card_mb_s_workers_N with N workers checking found files (1, 2, 4)
# Cards are made once under build/bench and reused. bench/run-recovery-eval.sh -v lists every file.
set -euo pipefail
cd "$(dirname "$0")/.."
verbose=${1:-}

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
work=build/bench/eval
cli=build/release/cli/quorvex-cli
runs=${QUORVEX_BENCH_RUNS:-3}
mkdir -p "$work"

if [ ! -d "$work/photos" ]; then
  (cd "$work" && apt-get download mate-backgrounds >/dev/null 2>&1) || true
  if ! ls "$work"/mate-backgrounds_*.deb >/dev/null 2>&1; then
    echo "run-recovery-eval: could not download the photographs (Debian package mate-backgrounds)" >&2
    exit 1
  fi
  dpkg -x "$work"/mate-backgrounds_*.deb "$work/package"
  mkdir -p "$work/photos"
  cp "$work"/package/usr/share/backgrounds/mate/nature/*.jpg "$work/photos/"
fi
if [ ! -f "$work/card/card.img" ]; then
  echo "Making the evaluation card (first run only) ..."
  build/release/bench/quorvex-make-eval-card "$work/photos" "$work/card" 1024
fi
if [ ! -f "$work/photo-card/card.img" ]; then
  echo "Making the photo card (first run only) ..."
  build/release/bench/quorvex-make-eval-card "$work/photos" "$work/photo-card" 256 photo-card
fi
if [ ! -f "$work/modern-card/card.img" ]; then
  echo "Making the card of today's files (first run only) ..."
  build/release/bench/quorvex-make-modern-card "$work/photos" "$work/modern-card" 1024
fi

# best_of N command...: the shortest wall time of N runs, in seconds.
best_of() {
  local n=$1 best="" start end t
  shift
  for ((i = 0; i < n; i++)); do
    start=$EPOCHREALTIME
    "$@"
    end=$EPOCHREALTIME
    t=$(python3 -c "print($end - $start)")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $t < $best else 1)"; then best=$t; fi
  done
  echo "$best"
}

# evaluate NAME PREFIX: scan + save of the card in $work/NAME by us and by photorec, timed and
# scored against its manifest; prints PREFIX-ed figures.
evaluate() {
  local name=$1 prefix=$2 card=$work/$1/card.img out=$work/$1-out
  cat "$card" >/dev/null
  ours_once() { rm -rf "$out/ours"; sync; "$cli" scan "$card" --exact --json --out "$out/ours" >"$out/ours.json" 2>/dev/null; }
  photorec_once() {
    rm -rf "$out/photorec"; mkdir -p "$out/photorec"; sync
    photorec /d "$out/photorec/recup" /cmd "$card" \
      partition_none,options,paranoid,keep_corrupted_file_no,fileopt,everything,enable,search >/dev/null 2>&1
  }
  mkdir -p "$out"
  local ours theirs
  ours=$(best_of "$runs" ours_once)
  theirs=$(best_of "$runs" photorec_once)
  echo "$name: scan + save: ours ${ours}s  photorec ${theirs}s  (warm page cache)"

  python3 bench/list-finds.py ours "$out/ours.json" "$out/ours" >"$out/ours.finds"
  python3 bench/list-finds.py photorec "$out/photorec" >"$out/photorec.finds"

  python3 bench/score-recovery.py $verbose --verdicts "$out/ours.json" "$work/$name" ours $(cat "$out/ours.finds") >"$out/ours.score"
  python3 bench/score-recovery.py $verbose "$work/$name" photorec $(cat "$out/photorec.finds") >"$out/photorec.score"
  grep -v '^{' "$out/ours.score" | sed 's/^ours_//' | paste - - - - - - - | column -t
  grep -v '^{' "$out/photorec.score" | paste - - - - - - - | column -t
  python3 - "$out/ours.score" "$out/photorec.score" "$ours" "$theirs" "$prefix" <<'PY'
import json, sys
ours = json.loads(open(sys.argv[1]).read().splitlines()[-1])
theirs = json.loads(open(sys.argv[2]).read().splitlines()[-1])
ours_time, their_time, p = float(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
print(f"{p}exact_files={ours['exact_files']}")
print(f"photorec_{p}exact_files={theirs['exact_files']}")
print(f"{p}intact_contiguous_exact={ours['intact_contiguous_exact']}/{ours['intact_contiguous']}")
print(f"{p}false_finds={ours['false_finds']} of {ours['finds']} finds")
print(f"photorec_{p}false_finds={theirs['false_finds']} of {theirs['finds']} finds")
print(f"{p}wrong_token_files={ours['wrong_token_files']}")
print(f"{p}output_vs_found_bytes={ours['output_vs_found_bytes']}")
print(f"photorec_{p}output_vs_found_bytes={theirs['output_vs_found_bytes']}")
print(f"{p}exact_vs_photorec_speed={their_time / ours_time:.2f}")
if ours['fragmented_planted']:
    print(f"{p}fragmented_planted={ours['fragmented_planted']}")
    print(f"{p}reassembled_exact={ours['reassembled_exact']}")
    print(f"{p}reassembled_wrong={ours['reassembled_wrong']}")
    print(f"{p}reassembled_two_piece={ours['reassembled_exact_two_piece']}/{ours['fragmented_two_piece']}")
    print(f"{p}fragmented_exact={ours['fragmented_exact']}  photorec_fragmented_exact={theirs['fragmented_exact']}")
PY
}

evaluate card ""
evaluate photo-card photo_card_
evaluate modern-card modern_

# How fast an exact scan of the photo card runs, and how it scales with the workers that check
# what it finds (the scan thread also checks while it waits for them).
photo=$work/photo-card/card.img
bytes=$(stat -c %s "$photo")
cat "$photo" >/dev/null
mb_s() { python3 -c "print(f'{$bytes / 1e6 / $1:.0f}')"; }
scan=$(best_of "$runs" sh -c "'$cli' scan '$photo' --exact >/dev/null 2>&1")
echo "exact_scan_photo_card_mb_s=$(mb_s "$scan")"
for workers in 1 2 4; do
  t=$(best_of "$runs" sh -c "QUORVEX_CHECK_WORKERS=$workers '$cli' scan '$photo' --exact >/dev/null 2>&1")
  echo "exact_scan_photo_card_mb_s_workers_$workers=$(mb_s "$t")"
done
