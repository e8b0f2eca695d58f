#!/usr/bin/env python3
"""Writes the evaluation cards of names: cards whose file systems still remember their files.

    bench/make-names-cards.py PHOTO_FOLDER OUTPUT_FOLDER

Three cards of 320 MiB, each with a history, written with the file systems' own tools (mtools for
FAT32; mkfs.exfat and mkntfs, then the FUSE drivers over a loop device for exFAT and NTFS; root is
needed for those two): photos written, quick-formatted, written again into folders (DCIM/100CANON,
DCIM/101CANON, "Pictures/Holiday 2024" with long names), some deleted, the card filled up and a
photo written into the holes left (a live file in pieces), more deleted. The photos are variants
of the real photographs in PHOTO_FOLDER made with vips (sizes, crops, qualities; JPEG and PNG),
each with a fixed modification time, so every run writes the same files.

For each card, OUTPUT_FOLDER/<card>/card.img and OUTPUT_FOLDER/<card>/manifest.tsv: one line per
file written: id, token, its path on the card, its state (live, deleted, formatted: written before
the quick format), its modification time, its length, where its bytes lie now (byte offset:length
pieces, found by looking for each of its 4 KiB blocks on the card) and whether they all still do
(intact). OUTPUT_FOLDER/originals/<id>.<token> holds each file.
"""

import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

CARD_MIB = 320  # FAT32 with 4 KiB clusters needs more than 65,524 of them
BLOCK = 4096
BASE_TIME = 1718000000  # 2024-06-10


def run(*args, **kwargs):
    return subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          env=dict(os.environ, MTOOLS_SKIP_CHECK="1"), **kwargs)


def make_originals(photos, out):
    """Distinct photos: each source photo resized, cropped and re-encoded a few ways."""
    os.makedirs(out, exist_ok=True)
    sources = sorted(os.path.join(photos, f) for f in os.listdir(photos) if f.lower().endswith(".jpg"))
    rng = random.Random(25)
    files = []
    for i in range(64):
        source = sources[i % len(sources)]
        token = "PNG" if i % 9 == 4 else "JPG"
        path = os.path.join(out, f"{i + 1}.{token}")
        if not os.path.exists(path):
            scale = 0.35 + 0.5 * rng.random()
            quality = 70 + rng.randrange(25)
            with tempfile.TemporaryDirectory() as scratch:
                resized = os.path.join(scratch, "r.v")
                encoded = os.path.join(scratch, "o." + token.lower())
                run("vips", "resize", source, resized, f"{scale:.3f}")
                run("vips", "copy", resized, encoded + (f"[Q={quality}]" if token == "JPG" else "[compression=6]"))
                shutil.move(encoded, path)
        os.utime(path, (BASE_TIME + i * 3607, BASE_TIME + i * 3607))
        files.append({"id": i + 1, "token": token, "source": path, "size": os.path.getsize(path),
                      "mtime": BASE_TIME + i * 3607})
    return files


class Card:
    """What is written onto one card, through one of the file system's tools."""

    def __init__(self, kind, image):
        self.kind, self.image, self.mount, self.loop = kind, image, None, None

    def format(self):
        if self.kind == "fat32":
            run("mkfs.vfat", "-F", "32", "-s", "8", "-i", "51A7C0DE", "-n", "CARD", self.image)
        elif self.kind == "exfat":
            run("mkfs.exfat", "-L", "CARD", self.image)
        else:
            run("mkntfs", "-Q", "-F", "-q", "-L", "CARD", self.image)

    def __enter__(self):
        if self.kind != "fat32":
            self.mount = tempfile.mkdtemp()
            self.loop = subprocess.check_output(["losetup", "--find", "--show", self.image], text=True).strip()
            run("mount.exfat-fuse" if self.kind == "exfat" else "ntfs-3g", self.loop, self.mount)
        return self

    def __exit__(self, *_):
        if self.mount:
            subprocess.run(["sync"])
            run("umount", self.mount)
            run("losetup", "-d", self.loop)
            os.rmdir(self.mount)
            self.mount = self.loop = None

    def mkdir(self, folder):
        if self.kind == "fat32":
            path = ""
            for part in folder.split("/"):
                path = path + "/" + part
                subprocess.run(["mmd", "-D", "s", "-i", self.image, "::" + path], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
        else:
            os.makedirs(os.path.join(self.mount, folder), exist_ok=True)

    def copy(self, source, path):
        if self.kind == "fat32":
            run("mcopy", "-m", "-D", "o", "-i", self.image, source, "::/" + path)
        else:
            shutil.copy2(source, os.path.join(self.mount, path))

    def delete(self, path):
        if self.kind == "fat32":
            run("mdel", "-i", self.image, "::/" + path)
        else:
            os.remove(os.path.join(self.mount, path))

    def free_bytes(self):
        if self.kind == "fat32":
            out = subprocess.check_output(["mdir", "-i", self.image, "::/"], text=True,
                                          env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
            line = [l for l in out.splitlines() if "bytes free" in l][0]
            return int(line.split("bytes free")[0].replace(" ", "").split("files")[-1] or 0)
        stat = os.statvfs(self.mount)
        return stat.f_bavail * stat.f_frsize


def block_map(image):
    """Where each 4 KiB block of the card lies (every place, for blocks that repeat)."""
    where = {}
    with open(image, "rb") as card:
        offset = 0
        while True:
            block = card.read(BLOCK)
            if not block:
                break
            if block.count(0) < BLOCK:
                where.setdefault(hashlib.sha1(block).digest(), []).append(offset)
            offset += len(block)
    return where


def locate(image, where, data):
    """The pieces (offset, length) where the file's bytes lie now, and whether they all do. A block
    is looked for first where the piece before it ends (photos of the same source share blocks)."""
    with open(image, "rb") as card:
        def at(offset, chunk):
            card.seek(offset)
            return card.read(len(chunk)) == chunk

        def run_from(offset, start):
            n = start
            while n < len(data) and at(offset + n - start, data[n:n + BLOCK]):
                n += BLOCK
            return min(n, len(data)) - start

        pieces = []
        position = 0
        while position < len(data):
            chunk = data[position:position + BLOCK]
            if pieces and at(pieces[-1][0] + pieces[-1][1], chunk):
                pieces[-1][1] += len(chunk)
                position += len(chunk)
                continue
            candidates = where.get(hashlib.sha1(chunk).digest(), []) if len(chunk) == BLOCK else []
            if not candidates:
                return pieces, False
            best = max(candidates, key=lambda offset: run_from(offset, position))
            length = run_from(best, position)
            pieces.append([best, length])
            position += length
    return pieces, True


def write_card(kind, files, folder):
    os.makedirs(folder, exist_ok=True)
    image = os.path.join(folder, "card.img")
    with open(image, "wb") as card:
        rng = random.Random(kind)
        for _ in range(CARD_MIB):
            card.write(rng.randbytes(1 << 20))
    card = Card(kind, image)
    placed = []  # (file, path on the card, state)
    queue = list(files)

    def put(path, state="live"):
        file = queue.pop(0)
        card.copy(file["source"], path)
        placed.append([file, path, state])
        return placed[-1]

    def filler(name, size):
        with tempfile.NamedTemporaryFile(delete=False) as out:
            rng = random.Random(kind + name)
            left = size
            while left > 0:
                chunk = min(left, 1 << 20)
                out.write(rng.randbytes(chunk))
                left -= chunk
        card.copy(out.name, name)
        os.remove(out.name)

    # Session 0: photos written near the card's end, then a quick format: their bytes stay,
    # their entries go.
    card.format()
    with card:
        filler("filler0.bin", (CARD_MIB - 48) << 20)
        card.mkdir("DCIM/100OLD__")
        for n in range(6):
            put(f"DCIM/100OLD__/OLD_{n + 1:04d}.{queue[0]['token']}")
        card.delete("filler0.bin")
    for entry in placed:
        entry[2] = "formatted"
    card.format()
    # Session 1: folders of a camera, and of someone's own.
    with card:
        for folder_name in ("DCIM/100CANON", "DCIM/101CANON", "Pictures/Holiday 2024"):
            card.mkdir(folder_name)
        number = 1
        for n in range(22):
            put(f"DCIM/100CANON/IMG_{number:04d}.{queue[0]['token']}")
            number += 1
        for n in range(8):
            put(f"DCIM/101CANON/IMG_{number:04d}.{queue[0]['token']}")
            number += 1
        for n, title in enumerate(("Beach at sunset", "Old town, morning", "Café terrace", "Mountain lake",
                                   "The harbour at night", "Market day")):
            put(f"Pictures/Holiday 2024/{title} {n + 1:02d}.{queue[0]['token'].lower()}")
    # Session 2: two photos deleted, and one larger than either written into both holes: a live
    # file in pieces. FAT drivers fill holes first once their hint of the next free cluster is
    # gone; the others, when nothing else is free.
    with card:
        holes = placed[16][0]["size"] + placed[18][0]["size"]
        if kind != "fat32":  # everything free taken first, so that the holes are all that is left
            filler("filler.bin", max(0, card.free_bytes() - (64 << 10)))
        for entry in (placed[16], placed[18]):
            card.delete(entry[1])
            entry[2] = "gone"
    if kind == "fat32":
        with open(image, "r+b") as raw:  # FSInfo's next free cluster: unknown
            raw.seek(512 + 492)
            raw.write(b"\xff\xff\xff\xff")
    with card:
        largest = max(placed[16][0]["size"], placed[18][0]["size"])
        big = max((f for f in queue if largest < f["size"] < holes - (64 << 10)), key=lambda f: f["size"],
                  default=queue[0])
        queue.remove(big)
        queue.insert(0, big)
        put(f"DCIM/100CANON/IMG_{number:04d}.{big['token']}")
        number += 1
        if kind != "fat32":
            card.delete("filler.bin")
    # Session 3: more deleted (long names among them), and a photo written after them.
    with card:
        for entry in (placed[8], placed[9], placed[13], placed[20], placed[24], placed[29], placed[33], placed[36]):
            card.delete(entry[1])
            entry[2] = "deleted"
        put(f"DCIM/101CANON/IMG_{number:04d}.{queue[0]['token']}")

    where = block_map(image)
    with open(os.path.join(folder, "manifest.tsv"), "w") as manifest:
        manifest.write("# id\ttoken\tpath\tstate\tmodified\tlength\tpieces\tintact\n")
        for file, path, state in placed:
            data = open(file["source"], "rb").read()
            pieces, intact = locate(image, where, data)
            manifest.write("\t".join(map(str, [file["id"], file["token"], path, state, file["mtime"], len(data),
                                               ",".join(f"{o}:{n}" for o, n in pieces) or "-",
                                               "yes" if intact else "no"])) + "\n")
    return len(placed)


def main():
    photos, out = sys.argv[1], sys.argv[2]
    files = make_originals(photos, os.path.join(out, "originals"))
    kinds = sys.argv[3:] or ["fat32", "exfat", "ntfs"]
    for kind in kinds:
        if kind != "fat32" and os.geteuid() != 0:
            print(f"{kind}: skipped (writing it needs root for its FUSE driver and a loop device)")
            continue
        count = write_card(kind, files, os.path.join(out, kind))
        print(f"{kind}: {count} files written to {os.path.join(out, kind, 'card.img')}")


if __name__ == "__main__":
    main()
