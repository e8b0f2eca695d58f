#!/usr/bin/env bash
# End-to-end test on a real X display: starts Xvfb and quorvex, and drives it with real input
# events (xdotool) as a user would: File > Open Disk Image... with the sample card image, Next,
# Next, the scan, a click on every type in the tree, its thumbnails, all of them selected, Save
# Selected into one folder and Save All into another through the real folder chooser. Then every
# saved file is compared with what the card image holds where the file was planted.
#   tests/e2e/run-e2e.sh BUILD_DIR
set -euo pipefail
for tool in Xvfb xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed; skipped"; exit 77; }
done
build=$(cd "${1:-build/release}" && pwd)
quorvex="$build/app/quorvex"
image="$build/sample/sample-card.img"
manifest="$build/sample/sample-card.manifest.tsv"
work=$(mktemp -d)
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A home of its own: no settings or kept scans of earlier runs.
export DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

fail() { echo "e2e: $*" >&2; import -window root "${E2E_SCREENSHOT:-/tmp/quorvex-e2e-failure.png}" 2>/dev/null || true; exit 1; }
window() { xdotool search --sync --name "$1" | head -1; }
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep "${3:-0.4}"; }
# Types a path into a file or folder chooser and presses Enter.
answer_chooser() {
  local chooser
  chooser=$(window "$1")
  xdotool windowfocus --sync "$chooser"
  xdotool type --delay 2 "$2"
  xdotool key Return
  sleep 0.8
}

(cd "$work" && exec "$quorvex") >"$work/quorvex.log" 2>&1 &
app=$!
main=$(window '^Quorvex$')
sleep 1
# Positions: the menu bar is 19 px high; the rest follows the window's dialog-unit layout.
menu=$(xdotool getwindowgeometry "$main" | awk '/Geometry/ { split($2, s, "x"); print s[2] - 505 }')
y() { echo $(($1 + menu)); }

click 15 $((menu / 2))                           # File
click 60 $((menu + 10)) 0.8                      # Open Disk Image...
answer_chooser '^Open Disk Image$' "$image"
click 721 "$(y 402)"                             # Next: the file-type page
click 721 "$(y 402)" 2                           # Next: the scan of the sample card

# Each type node of the tree: rows of 18 px under the root, thumbnails built for each.
types=$(awk -F'\t' '!/^#/ && !seen[$1]++ { print $1 }' "$manifest")
count=$(echo "$types" | wc -l)
for row in $(seq 1 "$count"); do
  click 92 "$(y $((145 + 1 + 18 * row + 9)))" 1.2
done
# The last type clicked is CRW: its item, selected with all others of the list (Ctrl+A).
click 240 "$(y 215)"
xdotool key ctrl+a
sleep 0.3

# Waits until a save has written `count` files under a folder (at most 20 s).
wait_for_files() {
  for _ in $(seq 100); do
    [ "$(find "$1" -type f 2>/dev/null | wc -l)" -ge "$2" ] && { sleep 0.5; return 0; }
    sleep 0.2
  done
}
planted=$(grep -vc '^#' "$manifest")
mkdir -p "$work/selected" "$work/all"
click 54 "$(y 55)" 0.8                           # Save Selected
answer_chooser 'Please select the path to save the files' "$work/selected"
wait_for_files "$work/selected" 1
click 139 "$(y 55)" 0.8                          # Save All
answer_chooser 'Please select the path to save the files' "$work/all"
wait_for_files "$work/all" "$planted"

# Every planted file was saved by Save All and starts with exactly the planted bytes; Save
# Selected saved the selected items of the last type only.
n=0
while IFS=$'\t' read -r token sector length description; do
  [[ "$token" == \#* ]] && continue
  n=$((n + 1))
  saved="$work/all/recoverd/$token/FoundFile$token$n.$token"
  [ -f "$saved" ] || fail "Save All did not write $saved"
  cmp -s -n "$length" <(dd if="$image" bs=512 skip="$sector" count=$(((length + 511) / 512)) status=none) "$saved" ||
    fail "$saved differs from the file planted at sector $sector ($description)"
done <"$manifest"
[ "$n" -gt 0 ] || fail "the manifest lists no files"
selected=$(find "$work/selected/recoverd" -type f 2>/dev/null | wc -l)
last=$(echo "$types" | tail -1)
expected=$(awk -F'\t' -v t="$last" '$1 == t' "$manifest" | wc -l)
[ "$selected" -eq "$expected" ] || fail "Save Selected wrote $selected files, expected the $expected $last files"
[ "$(find "$work/selected/recoverd" -mindepth 1 -maxdepth 1 -type d)" = "$work/selected/recoverd/$last" ] ||
  fail "Save Selected wrote other types than $last"
echo "e2e: $n files saved by Save All match the card; Save Selected saved the $selected selected $last files"
