#!/usr/bin/env python3
"""Writes the seeds of the reassembly fuzz target that lie in three pieces on its 1 KiB grid:

    fuzz/make-reassembly-seeds.py OUTPUT_FOLDER

  baseline-restarts-three-pieces  a JPEG with restart markers every 3 MCUs (cjpeg)
  progressive-three-pieces        a progressive JPEG (cjpeg)
  png-one-chunk-three-pieces      a PNG whose image data is one chunk, broken twice inside it
  heic-three-pieces               a HEIC (heif-enc) with text and zeros between its pieces
Each is its first piece, a gap, a middle piece of one cluster, a gap, the rest, then random bytes;
no piece starts where the target counts a whole file (4 KiB past every 8 KiB). Fixed seeds: every
run writes the same bytes for the same encoders.
"""

import os
import random
import struct
import subprocess
import sys
import tempfile
import zlib

CLUSTER = 1024


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(26)

    def noise(n):
        return bytes(rng.randrange(256) for _ in range(n))

    def lay(data, first, gaps):
        """`data` from offset 0: `first` bytes, gaps[0], one cluster, gaps[1], the rest, random bytes."""
        middle = data[first:first + CLUSTER]
        return data[:first] + gaps[0] + middle + gaps[1] + data[first + CLUSTER:] + noise(2 * CLUSTER)

    def picture(path, width, height, spread):
        pixels = bytearray()
        for y in range(height):
            for x in range(width):
                v = (x * 255 // width + y * 97 // height + rng.randint(0, spread)) % 256
                pixels += bytes((v, (v * 3 + y) % 256, (255 - v + x) % 256))
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (width, height) + pixels)

    def chunk(kind, payload):
        return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))

    with tempfile.TemporaryDirectory() as work:
        def run(*args):
            subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def read(name):
            with open(os.path.join(work, name), "rb") as f:
                return f.read()

        seeds = {}
        picture(os.path.join(work, "smooth.ppm"), 192, 128, 3)
        run("cjpeg", "-quality", "85", "-restart", "3B", "-outfile", os.path.join(work, "rst.jpg"),
            os.path.join(work, "smooth.ppm"))
        seeds["baseline-restarts-three-pieces"] = lay(read("rst.jpg"), 3 * CLUSTER, [noise(2 * CLUSTER), noise(CLUSTER)])
        picture(os.path.join(work, "noisy.ppm"), 192, 128, 40)
        run("cjpeg", "-quality", "85", "-progressive", "-outfile", os.path.join(work, "prog.jpg"),
            os.path.join(work, "noisy.ppm"))
        seeds["progressive-three-pieces"] = lay(read("prog.jpg"), 2 * CLUSTER, [noise(3 * CLUSTER), noise(CLUSTER)])
        width, height = 96, 64
        rows = b"".join(b"\0" + bytes(rng.randrange(256) if (x + y) % 7 == 0 else (x * 3 + y) % 256
                                      for x in range(width * 3)) for y in range(height))
        png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
               chunk(b"IDAT", zlib.compress(rows, 6)) + chunk(b"IEND", b""))
        seeds["png-one-chunk-three-pieces"] = lay(png, 2 * CLUSTER, [noise(CLUSTER), noise(2 * CLUSTER)])
        picture(os.path.join(work, "small.ppm"), 192, 128, 5)
        run("vips", "copy", os.path.join(work, "small.ppm"), os.path.join(work, "small.png"))
        run("heif-enc", "-q", "50", os.path.join(work, "small.png"), "-o", os.path.join(work, "small.heic"))
        text = (b"Notes left on the card. " * 50)[:CLUSTER]
        seeds["heic-three-pieces"] = lay(read("small.heic"), CLUSTER, [text, bytes(2 * CLUSTER)])
        for name, data in seeds.items():
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
