#!/usr/bin/env python3
"""Scores a recovery of the evaluation card against its manifest.

    score-recovery.py [-v] [--verdicts JSON_LINES] CARD_FOLDER NAME FINDS...

CARD_FOLDER holds manifest.tsv and originals/ (quorvex-make-eval-card). Each FIND is
"<start_sector>=<path of the recovered file>". Every planted file whose first sector still holds
its own first bytes is classified by the recovered file that starts there:
  exact     the same bytes
  overlong  its bytes, then more
  truncated fewer bytes, all of them its own
  diverged  the same start, other bytes somewhere before either ends
  missed    nothing recovered starts there
A recovered file that starts at no planted file's first sector is a false find; one saved under
another type's folder (recoverd/<TOKEN>/) than its file's is a wrong-token file. With --verdicts
(the JSON lines of quorvex-cli scan --exact --json), files the recovery says it reassembled are
checked: reassembled_exact are byte-exact, reassembled_wrong are not (or are false finds), of
fragmented_planted (JPEG and PNG files stored in two or more pieces, all still on the card). Files
stored in pieces are also counted by family (the first word of what the manifest says a file is):
<family>_fragmented_planted, _exact, _wrong (said reassembled, not byte-exact). Prints one line
per planted file (with -v) and a summary of NAME_key=value lines on stdout, also as JSON on the
last line.
"""
import json
import os
import sys


def load_manifest(folder):
    files = []
    with open(os.path.join(folder, "manifest.tsv")) as manifest:
        for line in manifest:
            if line.startswith("#"):
                continue
            ident, token, what, session, on_card, length, pieces, contiguous, intact = line.rstrip("\n").split("\t")
            first_sector = int(pieces.split(",")[0].split(":")[0])
            files.append({
                "id": int(ident), "token": token, "what": what, "length": int(length),
                "start": first_sector, "contiguous": contiguous == "yes", "intact": intact == "yes",
                "pieces": len(pieces.split(",")),
                "original": os.path.join(folder, "originals", f"{ident}.{token}"),
            })
    return files


def classify(original, recovered):
    if recovered == original:
        return "exact"
    common = min(len(original), len(recovered))
    if recovered[:common] != original[:common]:
        return "diverged"
    return "overlong" if len(recovered) > len(original) else "truncated"


def main():
    args = [a for a in sys.argv[1:] if a != "-v"]
    verbose = "-v" in sys.argv
    verdicts = {}
    if "--verdicts" in args:
        at = args.index("--verdicts")
        with open(args[at + 1]) as lines:
            for line in lines:
                entry = json.loads(line)
                if "summary" not in entry:
                    verdicts[int(entry["start_sector"])] = entry.get("verdict", "")
        del args[at:at + 2]
    folder, name, finds = args[0], args[1], args[2:]
    files = load_manifest(folder)
    by_sector = {}
    for find in finds:
        sector, path = find.split("=", 1)
        by_sector.setdefault(int(sector), path)

    # A planted file can be found only where its first sector still holds its own first bytes.
    with open(os.path.join(folder, "card.img"), "rb") as card:
        owners = {}
        for f in files:
            card.seek(f["start"] * 512)
            head = card.read(min(512, f["length"]))
            with open(f["original"], "rb") as original:
                if original.read(len(head)) == head:
                    owners[f["start"]] = f  # a later file that starts at the same sector wins

    counts = {k: 0 for k in ("exact", "overlong", "truncated", "diverged", "missed")}
    intact_contiguous = intact_contiguous_exact = 0
    fragmented = {"planted": 0, "two_piece": 0, "exact": 0, "reassembled_exact": 0, "reassembled_two_piece": 0}
    reassembled_wrong = 0
    families = {}  # by the first word of what a file is: its fragmented files, exact, wrong
    wrong_token = 0
    found_bytes = output_bytes = 0
    for sector, f in sorted(owners.items()):
        with open(f["original"], "rb") as original:
            data = original.read()
        path = by_sector.get(sector)
        if path is None:
            verdict = "missed"
        else:
            with open(path, "rb") as recovered:
                verdict = classify(data, recovered.read())
            found_bytes += len(data)
            parts = path.split("/recoverd/")
            if len(parts) == 2 and parts[1].split("/")[0] != f["token"]:
                wrong_token += 1
        counts[verdict] += 1
        said = verdicts.get(sector, "")
        if f["token"] in ("JPG", "PNG") and f["pieces"] >= 2 and f["intact"]:
            fragmented["planted"] += 1
            fragmented["two_piece"] += f["pieces"] == 2
            fragmented["exact"] += verdict == "exact"
            if said == "reassembled" and verdict == "exact":
                fragmented["reassembled_exact"] += 1
                fragmented["reassembled_two_piece"] += f["pieces"] == 2
        if said == "reassembled" and verdict != "exact":
            reassembled_wrong += 1
        if f["pieces"] >= 2 and f["intact"]:
            family = families.setdefault(f["what"].split(" ")[0], {"planted": 0, "exact": 0, "wrong": 0})
            family["planted"] += 1
            family["exact"] += verdict == "exact"
            family["wrong"] += said == "reassembled" and verdict != "exact"
        if f["intact"] and f["contiguous"]:
            intact_contiguous += 1
            intact_contiguous_exact += verdict == "exact"
        if verbose:
            state = ("intact" if f["intact"] else "overwritten") + (" contiguous" if f["contiguous"] else " fragmented")
            if said == "reassembled":
                verdict += "*"  # said to be reassembled
            print(f"{name}: {f['id']:3d} {f['token']:4s} {sector:8d} {f['length']:9d} {state:24s} {verdict:9s} {f['what']}",
                  file=sys.stderr)
    false_finds = [s for s in by_sector if s not in owners]
    reassembled_wrong += sum(1 for s in false_finds if verdicts.get(s) == "reassembled")
    for path in by_sector.values():
        output_bytes += os.path.getsize(path)
    summary = {
        "planted": len(files),
        "findable": len(owners),
        "intact_contiguous": intact_contiguous,
        "exact_files": counts["exact"],
        "intact_contiguous_exact": intact_contiguous_exact,
        "overlong": counts["overlong"],
        "truncated": counts["truncated"],
        "diverged": counts["diverged"],
        "missed": counts["missed"],
        "finds": len(by_sector),
        "false_finds": len(false_finds),
        "wrong_token_files": wrong_token,
        "output_bytes": output_bytes,
        "found_bytes": found_bytes,
        "output_vs_found_bytes": round(output_bytes / found_bytes, 3) if found_bytes else 0,
        "fragmented_planted": fragmented["planted"],
        "fragmented_two_piece": fragmented["two_piece"],
        "fragmented_exact": fragmented["exact"],
    }
    if verdicts:
        summary["reassembled_exact"] = fragmented["reassembled_exact"]
        summary["reassembled_exact_two_piece"] = fragmented["reassembled_two_piece"]
        summary["reassembled_wrong"] = reassembled_wrong
    for family, figures in sorted(families.items()):
        for key, value in figures.items():
            summary[f"{family}_fragmented_{key}"] = value
    for key, value in summary.items():
        print(f"{name}_{key}={value}")
    print(json.dumps(summary))


if __name__ == "__main__":
    main()
