#!/usr/bin/env python3
"""Scores a recovery of a names card (bench/make-names-cards.py) against its manifest.

    bench/score-names.py CARD_FOLDER ours OURS_JSON SAVED_FOLDER
    bench/score-names.py CARD_FOLDER photorec - PHOTOREC_FOLDER

For ours (a scan --exact --json --out with the card's names kept), by the start of each file found:
  named_right      files saved under their own path on the card (folder and name), with its time
  named_wrong      files given a name that is not theirs (a stale entry trusted): must be 0
  live_unnamed     live files on the card found without their name: should be 0
  exact_files      planted files recovered byte for byte (wherever they were saved)
  live_in_pieces_exact   live files the card stores in pieces, recovered byte for byte
For photorec: exact_files (it keeps no names). Everything counted against the files of the manifest
that are still whole on the card (intact).
"""

import hashlib
import json
import os
import sys


def manifest(card):
    files = []
    for line in open(os.path.join(card, "manifest.tsv")):
        if line.startswith("#"):
            continue
        f = line.rstrip("\n").split("\t")
        pieces = [] if f[6] == "-" else [tuple(map(int, p.split(":"))) for p in f[6].split(",")]
        files.append({"id": int(f[0]), "token": f[1], "path": f[2], "state": f[3], "modified": int(f[4]),
                      "length": int(f[5]), "pieces": pieces, "intact": f[7] == "yes"})
    return files


def digest(path):
    return hashlib.sha1(open(path, "rb").read()).hexdigest()


def main():
    card, who = sys.argv[1], sys.argv[2]
    planted = manifest(card)
    originals = os.path.join(os.path.dirname(card.rstrip("/")), "originals")
    wanted = {digest(os.path.join(originals, f"{f['id']}.{f['token']}")): f for f in planted if f["intact"]}
    saved_folder = sys.argv[4]
    saved = []
    for root, _, names in os.walk(saved_folder):
        saved += [os.path.join(root, n) for n in names]
    recovered = {digest(p) for p in saved}
    score = {"planted_intact": len(wanted), "exact_files": sum(1 for d in wanted if d in recovered)}
    live_in_pieces = [d for d, f in wanted.items() if f["state"] == "live" and len(f["pieces"]) > 1]
    score["live_in_pieces"] = len(live_in_pieces)
    score["live_in_pieces_exact"] = sum(1 for d in live_in_pieces if d in recovered)
    if who == "ours":
        by_start = {f["pieces"][0][0] // 512: f for f in planted if f["pieces"]}
        right = wrong = live_unnamed = 0
        for line in open(sys.argv[3]):
            entry = json.loads(line)
            if "summary" in entry:
                continue
            f = by_start.get(entry["start_sector"])
            name = entry.get("card_path")
            if name is None:
                live_unnamed += f is not None and f["state"] == "live" and f["intact"]
                continue
            target = os.path.join(saved_folder, "recoverd", name)
            if f is not None and name == f["path"] and os.path.exists(target) and \
                    abs(int(os.path.getmtime(target)) - f["modified"]) <= 2:  # FAT keeps even seconds
                right += 1
            else:
                wrong += 1
                print(f"wrong name: {name} at sector {entry['start_sector']} ({f['path'] if f else 'no planted file'})",
                      file=sys.stderr)
        score.update(named_right=right, named_wrong=wrong, live_unnamed=live_unnamed,
                     could_be_named=sum(1 for f in planted if f["intact"] and f["state"] in ("live", "deleted")))
    print(json.dumps(score))


if __name__ == "__main__":
    main()
