#!/usr/bin/env bash
# Writes the seeds of filesystem_fuzz into FOLDER: small FAT12 and FAT16 volumes written with
# mtools, and (as root, through their FUSE drivers over a loop device) exFAT and NTFS ones; each
# with a folder, a live file, a deleted one and a long name, cut to its first 256 KiB.
#   fuzz/make-filesystem-seeds.sh FOLDER
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1
python3 -c "import sys; sys.stdout.buffer.write(bytes((i * 37 + 11) % 256 for i in range(9000)))" >"$work/photo"
for kind in 12:128 16:4096; do
  bits=${kind%%:*} kib=${kind##*:}
  img=$work/fat$bits.img
  mkfs.vfat -C -F "$bits" -s 1 -S 512 -n SEED "$img" "$kib" >/dev/null 2>&1 || continue
  mmd -i "$img" ::/DCIM && mcopy -i "$img" "$work/photo" ::/DCIM/IMG_0001.JPG &&
    mcopy -i "$img" "$work/photo" "::/DCIM/Long name.jpg" && mcopy -i "$img" "$work/photo" ::/DCIM/IMG_0002.JPG &&
    mdel -i "$img" ::/DCIM/IMG_0002.JPG "::/DCIM/Long name.jpg" || continue
  head -c 262144 "$img" >"$out/fat$bits"
done
if [ "$(id -u)" -eq 0 ]; then
  mnt=$work/mnt
  mkdir -p "$mnt"
  for kind in exfat ntfs; do
    img=$work/$kind.img
    truncate -s 4M "$img"
    if [ "$kind" = exfat ]; then mkfs.exfat -b 4K -c 4K "$img" >/dev/null 2>&1 || continue
    else mkntfs -Q -F -q -c 512 "$img" >/dev/null 2>&1 || continue; fi
    loop=$(losetup --find --show "$img") || continue
    if { [ "$kind" = exfat ] && mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1; } ||
      { [ "$kind" = ntfs ] && ntfs-3g "$loop" "$mnt" >/dev/null 2>&1; }; then
      mkdir "$mnt/DCIM" && cp "$work/photo" "$mnt/DCIM/a.jpg" && cp "$work/photo" "$mnt/DCIM/Long b.jpg" && rm "$mnt/DCIM/a.jpg"
      umount "$mnt"
    fi
    losetup -d "$loop"
    head -c 262144 "$img" >"$out/$kind"
  done
fi
ls "$out" | wc -l
