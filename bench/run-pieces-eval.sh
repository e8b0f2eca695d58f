#!/usr/bin/env bash
# Photos and videos in pieces: the card of bench/make-pieces-card.py (512 MiB, every file of a
# varied set stored in two or three pieces, made from the pictures of four Debian packages:
# mate-backgrounds and gnome-backgrounds wallpapers, gimp-help-en and desktop-base pictures),
# recovered by us (exact) and by photorec (Debian testdisk) in the same run. Prints, per family
# (baseline and progressive JPEG, PNG, HEIC, video):
#   <family>_planted            files stored in pieces
#   <family>_exact / photorec_<family>_exact   recovered byte-exact
#   <family>_damaged            of ours, not byte-exact (left damaged, or missed)
#   <family>_wrong              said to be reassembled and not byte-exact (must be 0)
# and the scan + save time of both. The card is made once under build/bench/pieces and reused.
# bench/run-pieces-eval.sh -v lists every file.
set -euo pipefail
cd "$(dirname "$0")/.."
verbose=${1:-}

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
work=build/bench/pieces
cli=build/release/cli/quorvex-cli
mkdir -p "$work"

if [ ! -d "$work/sources" ]; then
  mkdir -p "$work/packages" "$work/sources.part"
  (cd "$work/packages" && apt-get download mate-backgrounds gnome-backgrounds gimp-help-en desktop-base >/dev/null 2>&1) || true
  for package in mate-backgrounds gnome-backgrounds gimp-help-en desktop-base; do
    deb=$(ls "$work"/packages/${package}_*.deb 2>/dev/null | head -1)
    if [ -z "$deb" ]; then
      echo "run-pieces-eval: could not download the pictures (Debian package $package)" >&2
      exit 1
    fi
    dpkg -x "$deb" "$work/packages/$package"
  done
  cp "$work"/packages/mate-backgrounds/usr/share/backgrounds/mate/nature/*.jpg "$work/sources.part/"
  cp "$work"/packages/gnome-backgrounds/usr/share/backgrounds/gnome/*.webp "$work/sources.part/"
  find "$work/packages/gimp-help-en" -iname '*.png' -size +100k | sort | head -12 | xargs -I{} cp {} "$work/sources.part/"
  find "$work/packages/gimp-help-en" -iname '*.jpg' -size +60k | sort | head -8 | xargs -I{} cp {} "$work/sources.part/"
  find "$work/packages/desktop-base" -iname '*.png' -size +200k | sort |
    while read -r f; do cp "$f" "$work/sources.part/desktop-base-$(basename "$f")"; done
  mv "$work/sources.part" "$work/sources"
fi
if [ ! -f "$work/card/card.img" ]; then
  echo "Making the card of files in pieces (first run only) ..."
  python3 bench/make-pieces-card.py "$work/sources" "$work/card"
fi

card=$work/card/card.img out=$work/out
mkdir -p "$out"
cat "$card" >/dev/null
time_of() {
  local start=$EPOCHREALTIME
  "$@"
  python3 -c "print(f'{$EPOCHREALTIME - $start:.2f}')"
}
ours=$(time_of sh -c "rm -rf '$out/ours'; '$cli' scan '$card' --exact --json --out '$out/ours' >'$out/ours.json' 2>/dev/null")
theirs=$(time_of sh -c "rm -rf '$out/photorec'; mkdir -p '$out/photorec'; photorec /d '$out/photorec/recup' /cmd '$card' \
  partition_none,options,paranoid,keep_corrupted_file_no,fileopt,everything,enable,search >/dev/null 2>&1")
echo "pieces card: scan + save: ours ${ours}s  photorec ${theirs}s"

python3 bench/list-finds.py ours "$out/ours.json" "$out/ours" >"$out/ours.finds"
python3 bench/list-finds.py photorec "$out/photorec" >"$out/photorec.finds"
python3 bench/score-recovery.py $verbose --verdicts "$out/ours.json" "$work/card" ours $(cat "$out/ours.finds") >"$out/ours.score"
python3 bench/score-recovery.py "$work/card" photorec $(cat "$out/photorec.finds") >"$out/photorec.score"
python3 - "$out/ours.score" "$out/photorec.score" <<'PY'
import json, sys
ours = json.loads(open(sys.argv[1]).read().splitlines()[-1])
theirs = json.loads(open(sys.argv[2]).read().splitlines()[-1])
families = sorted(k[:-len("_fragmented_planted")] for k in ours if k.endswith("_fragmented_planted"))
total = {"planted": 0, "exact": 0, "photorec": 0, "wrong": 0}
for family in families:
    planted = ours[f"{family}_fragmented_planted"]
    exact = ours[f"{family}_fragmented_exact"]
    wrong = ours[f"{family}_fragmented_wrong"]
    photorec = theirs.get(f"{family}_fragmented_exact", 0)
    print(f"{family}_planted={planted} {family}_exact={exact} ({100 * exact / planted:.0f}%) "
          f"{family}_damaged={planted - exact} {family}_wrong={wrong} photorec_{family}_exact={photorec}")
    for key, value in (("planted", planted), ("exact", exact), ("photorec", photorec), ("wrong", wrong)):
        total[key] += value
print(f"pieces_planted={total['planted']} pieces_exact={total['exact']} photorec_pieces_exact={total['photorec']} "
      f"pieces_wrong={ours['reassembled_wrong']}")
print(f"pieces_false_finds={ours['false_finds']} photorec_pieces_false_finds={theirs['false_finds']}")
PY
