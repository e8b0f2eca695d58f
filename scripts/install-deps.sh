#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Non-interactive and idempotent: packages already present are left as they are.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build ccache pkg-config
  # command-line front end
  libcli11-dev nlohmann-json3-dev
  # the sample card image is written with the real encoders; exact recovery decodes with them
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev libgif-dev libexiv2-dev
  # HEIC and AVIF photos (libheif with its HEVC and AV1 decoders); a video's frame for its tile
  libheif-dev libde265-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # a drive the user may not open is asked of the system: UDisks2 over the system bus (sd-bus),
  # else the open helper through pkexec; the tests run the real daemons and a private bus
  libsystemd-dev dbus-daemon dbus polkitd pkexec udev udisks2
  # what a card's file system still remembers (The Sleuth Kit); test and evaluation cards are
  # formatted and written with the file systems' own tools (exFAT and NTFS through FUSE)
  libtsk-dev dosfstools mtools exfatprogs exfat-fuse ntfs-3g
  # the GUI and its services
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core qt6-image-formats-plugins
  # media preview: Qt Multimedia with GStreamer
  qt6-multimedia-dev libqt6multimediawidgets6 gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # tests, fuzzing and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3 clang-14 libclang-rt-14-dev libvips-tools
  # the recovery benchmark runs photorec beside us; the imaging tests continue GNU ddrescue's maps;
  # the evaluation card of today's photos and videos is made with heif-enc and ffmpeg, the card of
  # files in pieces with cjpeg too
  testdisk gddrescue libheif-examples ffmpeg libjpeg-turbo-progs
  # packaging and the end-to-end test on a real X display
  dpkg-dev desktop-file-utils appstream xvfb xauth xdotool x11-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
