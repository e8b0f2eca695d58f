#!/usr/bin/env bash
# Recovery quality and speed on the evaluation card, side by side with photorec (Debian testdisk)
# in the same run:
#   exact_files / photorec_exact_files   findable files recovered byte-exact
#   intact_contiguous_exact              of the files that lie contiguous and intact on the card
#   false_finds / photorec_false_finds   recovered files that start where no planted file does
#   output_vs_found_bytes                bytes written / bytes of the planted files found
#   exact_vs_photorec_speed              photorec's scan + save time / ours (warm page cache)
#   fragmented_planted                   JPEGs and PNGs the card stores in 2 or 3 pieces
#   reassembled_exact / reassembled_wrong  of the files ours calls reassembled: byte-exact, or not
#   reassembled_two_piece                two-piece files reassembled byte-exact / two-piece files
# The card (1 GiB, FAT32 history, ~110 files from real photographs, some stored in pieces of Debian's mate-backgrounds)
# is made once under build/bench/eval and reused. bench/run-recovery-eval.sh -v lists every file.
set -euo pipefail
cd "$(dirname "$0")/.."
verbose=${1:-}

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
work=build/bench/eval
cli=build/release/cli/quorvex-cli
runs=${QUORVEX_BENCH_RUNS:-3}
mkdir -p "$work"

if [ ! -f "$work/card/card.img" ]; then
  echo "Making the evaluation card (first run only) ..."
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
  build/release/bench/quorvex-make-eval-card "$work/photos" "$work/card" 1024
fi
card=$work/card/card.img
cat "$card" >/dev/null

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

ours_once() { rm -rf "$work/ours"; sync; "$cli" scan "$card" --exact --json --out "$work/ours" >"$work/ours.json" 2>/dev/null; }
photorec_once() {
  rm -rf "$work/photorec"; mkdir -p "$work/photorec"; sync
  photorec /d "$work/photorec/recup" /cmd "$card" \
    partition_none,options,paranoid,keep_corrupted_file_no,fileopt,everything,enable,search >/dev/null 2>&1
}
ours=$(best_of "$runs" ours_once)
theirs=$(best_of "$runs" photorec_once)
echo "scan + save: ours ${ours}s  photorec ${theirs}s  (1 GiB card, warm page cache)"

python3 - "$work/ours.json" "$work/ours" >"$work/ours.finds" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    entry = json.loads(line)
    if "summary" not in entry:
        print(f"{entry['start_sector']}={sys.argv[2]}/recoverd/{entry['token']}/{entry['name']}")
PY
find "$work/photorec" -name 'f*.*' -type f | python3 -c "
import os, re, sys
for path in sys.stdin:
    path = path.strip()
    m = re.match(r'f(\d+)', os.path.basename(path))
    if m:
        print(f'{int(m.group(1))}={path}')" >"$work/photorec.finds"

python3 bench/score-recovery.py $verbose --verdicts "$work/ours.json" "$work/card" ours $(cat "$work/ours.finds") >"$work/ours.score"
python3 bench/score-recovery.py $verbose "$work/card" photorec $(cat "$work/photorec.finds") >"$work/photorec.score"
grep -v '^{' "$work/ours.score" | sed 's/^ours_//' | paste - - - - - - - | column -t
grep -v '^{' "$work/photorec.score" | paste - - - - - - - | column -t
python3 - "$work/ours.score" "$work/photorec.score" "$ours" "$theirs" <<'PY'
import json, sys
ours = json.loads(open(sys.argv[1]).read().splitlines()[-1])
theirs = json.loads(open(sys.argv[2]).read().splitlines()[-1])
ours_time, their_time = float(sys.argv[3]), float(sys.argv[4])
print(f"exact_files={ours['exact_files']}")
print(f"photorec_exact_files={theirs['exact_files']}")
print(f"intact_contiguous_exact={ours['intact_contiguous_exact']}/{ours['intact_contiguous']}")
print(f"false_finds={ours['false_finds']} of {ours['finds']} finds")
print(f"photorec_false_finds={theirs['false_finds']} of {theirs['finds']} finds")
print(f"output_vs_found_bytes={ours['output_vs_found_bytes']}")
print(f"photorec_output_vs_found_bytes={theirs['output_vs_found_bytes']}")
print(f"exact_vs_photorec_speed={their_time / ours_time:.2f}")
print(f"fragmented_planted={ours['fragmented_planted']}")
print(f"reassembled_exact={ours['reassembled_exact']}")
print(f"reassembled_wrong={ours['reassembled_wrong']}")
print(f"reassembled_two_piece={ours['reassembled_exact_two_piece']}/{ours['fragmented_two_piece']}")
print(f"fragmented_exact={ours['fragmented_exact']}  photorec_fragmented_exact={theirs['fragmented_exact']}")
PY
