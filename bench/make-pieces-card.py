#!/usr/bin/env python3
"""Writes the card of photos and videos in pieces: a 512 MiB image of old data whose files are
stored in two or three pieces, as a full card scatters them.

    bench/make-pieces-card.py SOURCE_FOLDER OUTPUT_FOLDER

SOURCE_FOLDER holds pictures of many origins (wallpapers and documentation pictures from Debian
packages: JPEG, PNG, WebP). From them, with the real encoders:
  baseline     JPEGs by cjpeg: 4:4:4, 4:2:2, 4:2:0, 4:1:1 and grey; restart markers every row,
               every few MCUs or none; standard or optimised tables; qualities 60 to 97; pictures
               from 320 pixels across to 4000
  progressive  JPEGs by cjpeg -progressive, the same variety
  png          PNGs by vips, RGB and RGBA, several sizes
  heic         HEIC by heif-enc
  video        MP4, MOV and 3GP clips by ffmpeg (H.264 + AAC; index first and index last)
Every one of them is stored in pieces on a 4 KiB grid: two pieces or three (one of them a single
cluster), cut anywhere (in the first clusters, near the end, in the middle), with gaps of 4 KiB to
2 MiB between holding random bytes, zeros, text, or the middle of another picture encoded with the
same settings (the same tables) or with others; some have their second piece before the first
(the file system filled an earlier hole). Whole files lie between them (the data a search must not
take). Everything is drawn from fixed seeds and the encoders run single-threaded and bit-exact,
so every run writes the same card.

OUTPUT_FOLDER/card.img, OUTPUT_FOLDER/manifest.tsv (id, token, what: its family first, session,
on_card, length, pieces as first_sector:byte_count, contiguous, intact) and
OUTPUT_FOLDER/originals/<id>.<token>.
"""

import os
import random
import shutil
import subprocess
import sys

CARD_BYTES = 512 << 20
CLUSTER = 4096
SECTOR = 512


def run(*args):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ffmpeg(*args):
    run("ffmpeg", "-nostdin", "-hide_banner", "-y", "-threads", "1", *args[:-1],
        "-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact", args[-1])


class Encoder:
    """Makes each file once into OUTPUT_FOLDER/work and reads it back."""

    def __init__(self, sources, work):
        self.sources = sources
        self.work = work
        os.makedirs(work, exist_ok=True)

    def ppm(self, index, width):
        """Source picture `index` scaled to `width` pixels across, as a binary PPM."""
        path = os.path.join(self.work, f"s{index}-{width}.ppm")
        if not os.path.exists(path):
            flat = os.path.join(self.work, "flat.v")
            run("vips", "thumbnail", self.sources[index % len(self.sources)], flat, str(width), "--size", "force",
                "--height", str(width * 2 // 3))
            run("vips", "flatten", flat, path)
        return path

    def made(self, name, make):
        path = os.path.join(self.work, name)
        if not os.path.exists(path):
            make(path + ".part")
            os.replace(path + ".part", path)
        with open(path, "rb") as f:
            return f.read()

    def jpeg(self, index, width, quality, sampling, restart, optimise, progressive):
        options = ["-quality", str(quality)]
        options += ["-grayscale"] if sampling == "grey" else ["-sample", sampling]
        if restart:
            options += ["-restart", restart]
        if optimise:
            options += ["-optimize"]
        if progressive:
            options += ["-progressive"]
        name = f"j{index}-{width}-{quality}-{sampling}-{restart}-{optimise:d}{progressive:d}.jpg"
        source = self.ppm(index, width)
        return self.made(name, lambda out: run("cjpeg", *options, "-outfile", out, source))

    def png(self, index, width, alpha):
        def make(out):
            source = self.sources[index % len(self.sources)]
            resized = os.path.join(self.work, "png.v")
            run("vips", "thumbnail", source, resized, str(width))
            if not alpha:
                run("vips", "flatten", resized, os.path.join(self.work, "pngflat.v"))
                resized = os.path.join(self.work, "pngflat.v")
            run("vips", "pngsave", resized, out, "--compression", "6")
        return self.made(f"p{index}-{width}-{alpha:d}.png", make)

    def heic(self, index, width, quality):
        def make(out):
            source = os.path.join(self.work, "heic-source.png")
            run("vips", "pngsave", self.ppm(index, width), source)
            run("heif-enc", "-q", str(quality), source, "-o", out + ".heic")
            os.replace(out + ".heic", out)
        return self.made(f"h{index}-{width}-{quality}.heic", make)

    def video(self, index, container, seconds, index_first, size):
        def make(out):
            # A slow pan over one of the pictures with a sensor's noise, and a tone: the frames differ
            # as a camera's do.
            still = os.path.join(self.work, "video-source.png")
            width, height = size
            run("vips", "pngsave", self.ppm(index, width + 320), still)
            motion = (f"crop={width}:{height}:x='(in_w-{width})*t/{seconds}':y='(in_h-{height})/2',"
                      "noise=alls=10:allf=t")
            options = ["-loop", "1", "-framerate", "30", "-i", still, "-f", "lavfi", "-i",
                       f"sine=frequency={300 + 40 * (index % 10)}:sample_rate=48000", "-t", str(seconds), "-vf", motion,
                       "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                       "-f", {"MP4": "mp4", "MOV": "mov", "3GP": "3gp"}[container]]
            if index_first:
                options += ["-movflags", "+faststart"]
            ffmpeg(*options, out)
        return self.made(f"v{index}-{container}-{seconds}-{index_first:d}-{size[0]}.{container.lower()}", make)


def plan(encoder, rng):
    """The files to store in pieces, with their family, and the pictures to cut gaps from."""
    files = []
    samplings = ["1x1", "2x1", "2x2", "4x1", "grey"]
    restarts = [None, None, "1", "8B", "5"]
    n = 0
    for progressive, count in ((False, 40), (True, 12)):
        for i in range(count):
            n += 1
            sampling = samplings[i % len(samplings)]
            restart = restarts[(i // 2) % len(restarts)] if not progressive else None
            width = rng.choice([320, 480, 800, 1280, 1920, 2560, 4000])
            quality = rng.choice([60, 75, 85, 90, 95, 97])
            optimise = progressive or rng.random() < 0.5
            data = encoder.jpeg(n, width, quality, sampling, restart, optimise, progressive)
            while len(data) < 12 * CLUSTER:  # a small or flat picture: a larger one
                width = width * 3 // 2
                data = encoder.jpeg(n, width, quality, sampling, restart, optimise, progressive)
            what = (f"{'progressive' if progressive else 'baseline'} {sampling} q{quality} {width}px "
                    f"rst{restart or 0}{' opt' if optimise and not progressive else ''}")
            files.append({"token": "JPG", "what": what, "bytes": data,
                          "settings": (quality, sampling, restart, optimise, progressive)})
    for i in range(10):
        n += 1
        width = rng.choice([300, 640, 1024, 1600, 2400])
        alpha = i % 3 == 0
        data = encoder.png(n, width, alpha)
        while len(data) < 4 * CLUSTER:  # a flat picture (a plain background): another source
            n += 1
            data = encoder.png(n, width, alpha)
        files.append({"token": "PNG", "what": f"png {width}px{' alpha' if alpha else ''}", "bytes": data})
    for i in range(8):
        n += 1
        width = rng.choice([640, 1280, 1920, 3000])
        quality = rng.choice([50, 70, 85])
        files.append({"token": "HEIC", "what": f"heic {width}px q{quality}", "bytes": encoder.heic(n, width, quality)})
    clips = [("MP4", 6, False, (1280, 720)), ("MP4", 4, True, (640, 480)), ("MP4", 8, False, (960, 540)),
             ("MOV", 5, False, (1280, 720)), ("MOV", 3, True, (640, 360)), ("3GP", 5, False, (352, 288)),
             ("MP4", 3, False, (1920, 1080)), ("MOV", 6, False, (800, 600)), ("3GP", 4, True, (320, 240))]
    for container, seconds, index_first, size in clips:
        n += 1
        files.append({"token": container, "what": f"video {container} {size[0]}x{size[1]} {seconds}s "
                                                  f"index {'first' if index_first else 'last'}",
                      "bytes": encoder.video(n, container, seconds, index_first, size)})
    return files


def clusters(length):
    return (length + CLUSTER - 1) // CLUSTER


def cut_points(rng, length, count):
    """Where a file of `length` bytes is cut into `count` pieces: cluster boundaries inside it."""
    last = clusters(length) - 1
    if last < count - 1:
        return None
    while True:
        where = rng.choice(["early", "late", "middle", "anywhere"])
        if where == "early":
            first = rng.randint(1, min(3, last))
        elif where == "late":
            first = rng.randint(max(1, last - 2), last)
        elif where == "middle":
            first = max(1, last // 2 + rng.randint(-2, 2))
        else:
            first = rng.randint(1, last)
        cuts = [first]
        if count == 3:
            # The middle piece is often one cluster long.
            second = first + 1 if rng.random() < 0.5 else rng.randint(first + 1, last + 1)
            if second > last:
                continue
            cuts.append(second)
        if all(1 <= c <= last for c in cuts) and len(set(cuts)) == len(cuts):
            return [c * CLUSTER for c in sorted(cuts)]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source_folder, out = sys.argv[1], sys.argv[2]
    sources = sorted(os.path.join(root, name) for root, _, names in os.walk(source_folder) for name in names
                     if name.lower().endswith((".jpg", ".png", ".webp")))
    if not sources:
        sys.exit("make-pieces-card: no pictures in " + source_folder)
    rng = random.Random(2612)
    rng.shuffle(sources)
    # Plain pictures (a flat background, a logo) are left out: they would make files of a cluster.
    probe = Encoder(sources, os.path.join(out, "work"))
    sources = [s for k, s in enumerate(sources) if len(probe.jpeg(k, 640, 75, "2x2", None, False, False)) > 24000]
    encoder = Encoder(sources, os.path.join(out, "work", "varied"))
    planted = plan(encoder, rng)
    # Pictures whose middles fill gaps, and whole files between the pieces: decoys of the same
    # kinds (the same cjpeg settings as a planted JPEG give the same tables).
    decoys = []
    for k, f in enumerate(planted):
        if f["token"] == "JPG" and k % 2 == 0:
            quality, sampling, restart, optimise, progressive = f["settings"]
            decoys.append(encoder.jpeg(200 + k, 1280, quality, sampling, restart, optimise, progressive))
    wholes = [{"token": "JPG", "what": "whole jpeg", "bytes": encoder.jpeg(300 + k, 1024, 90, "2x2", None, False, False)}
              for k in range(8)]
    wholes += [{"token": "PNG", "what": "whole png", "bytes": encoder.png(320 + k, 800, False)} for k in range(3)]

    card = bytearray(b"".join(rng.randbytes(1 << 20) for _ in range(CARD_BYTES >> 20)))
    text = (b"Old notes left on the card. " * 200)[:CLUSTER]

    def gap_bytes(size):
        kind = rng.choice(["random", "zeros", "text", "same tables", "other picture"])
        if kind == "random":
            return kind, rng.randbytes(size)
        if kind == "zeros":
            return kind, bytes(size)
        if kind == "text":
            return kind, (text * (size // CLUSTER + 1))[:size]
        picture = rng.choice(decoys) if kind == "same tables" else rng.choice(wholes)["bytes"]
        middle = (len(picture) // 2) // CLUSTER * CLUSTER
        piece = picture[middle:middle + size]
        return kind, piece + rng.randbytes(size - len(piece))

    order = planted + wholes
    rng.shuffle(order)
    cursor = 1 << 20
    placed = []
    for f in order:
        data = f["bytes"]
        pieces = None
        note = ""
        if f["what"].startswith("whole"):
            at = cursor
            pieces = [(at, len(data))]
            cursor = at + clusters(len(data)) * CLUSTER
        else:
            count = 3 if rng.random() < 0.3 else 2
            cuts = cut_points(rng, len(data), count) or cut_points(rng, len(data), 2)
            if cuts is None:
                raise SystemExit(f"make-pieces-card: {f['what']} is too small to cut")
            bounds = [0] + cuts + [len(data)]
            chunks = [data[a:b] for a, b in zip(bounds, bounds[1:])]
            gaps = []
            for _ in chunks[1:]:
                size = CLUSTER * max(1, int(2 ** rng.uniform(0, 9)))  # 4 KiB to 2 MiB
                gaps.append(gap_bytes(size))
            before = len(chunks) == 2 and rng.random() < 0.2 and len(chunks[1]) + len(gaps[0][1]) < (3 << 20)
            spots = []
            if before:
                # The second piece lies in an earlier hole, the gap after it, then the first piece.
                spots = [cursor + clusters(len(chunks[1])) * CLUSTER + len(gaps[0][1]), cursor]
                card[cursor + clusters(len(chunks[1])) * CLUSTER:spots[0]] = gaps[0][1]
                cursor = spots[0] + clusters(len(chunks[0])) * CLUSTER
                note = f", second piece first, {gaps[0][0]} between"
            else:
                at = cursor
                for k, chunk in enumerate(chunks):
                    spots.append(at)
                    at += clusters(len(chunk)) * CLUSTER
                    if k < len(gaps):
                        card[at:at + len(gaps[k][1])] = gaps[k][1]
                        at += len(gaps[k][1])
                cursor = at
                note = ", " + " and ".join(g[0] for g in gaps) + " between"
            pieces = list(zip(spots, (len(c) for c in chunks)))
            for (spot, _), chunk in zip(pieces, chunks):
                card[spot:spot + len(chunk)] = chunk
                tail = clusters(len(chunk)) * CLUSTER - len(chunk)
                card[spot + len(chunk):spot + len(chunk) + tail] = rng.randbytes(tail)
            note = f" in {len(chunks)} pieces{note}"
        # Old data after each file, a few clusters.
        cursor += CLUSTER * rng.randint(0, 8)
        if cursor > CARD_BYTES - (4 << 20):
            raise SystemExit("make-pieces-card: the files do not fit on the card")
        placed.append((f, pieces, note))

    os.makedirs(os.path.join(out, "originals"), exist_ok=True)
    with open(os.path.join(out, "card.img.part"), "wb") as image:
        image.write(card)
    os.replace(os.path.join(out, "card.img.part"), os.path.join(out, "card.img"))
    with open(os.path.join(out, "manifest.tsv"), "w") as manifest:
        manifest.write("# id\ttoken\twhat\tsession\ton_card\tlength\tpieces\tcontiguous\tintact\n")
        for ident, (f, pieces, note) in enumerate(placed, 1):
            with open(os.path.join(out, "originals", f"{ident}.{f['token']}"), "wb") as original:
                original.write(f["bytes"])
            where = ",".join(f"{offset // SECTOR}:{length}" for offset, length in pieces)
            manifest.write(f"{ident}\t{f['token']}\t{f['what']}{note}\t1\tlive\t{len(f['bytes'])}\t{where}\t"
                           f"{'yes' if len(pieces) == 1 else 'no'}\tyes\n")
    shutil.rmtree(os.path.join(out, "work", "tmp"), ignore_errors=True)


if __name__ == "__main__":
    main()
