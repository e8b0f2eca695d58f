#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get and checks the installed
# programs and desktop files: quorvex-cli --version, a scan of the sample card image from the
# installed location, desktop-file-validate and appstreamcli validate. Needs root (or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release
(cd build/release && rm -f quorvex_*.deb && cpack -G DEB >/dev/null)
deb=$(ls build/release/quorvex_*.deb)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y -q "./$deb" >/dev/null

echo "installed: $(dpkg-query -W -f='${Package} ${Version}' quorvex)"
/usr/bin/quorvex-cli --version
found=$(/usr/bin/quorvex-cli scan build/release/sample/sample-card.img | wc -l)
echo "installed quorvex-cli found $found files on the sample card"
[ "$found" -eq 9 ]
desktop-file-validate /usr/share/applications/org.example.Quorvex.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.example.Quorvex.metainfo.xml
test -f /usr/share/icons/hicolor/256x256/apps/org.example.Quorvex.png
# The only action pkexec may run is the open helper's; the window always runs as the user.
policy=/usr/share/polkit-1/actions/org.example.quorvex.policy
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/libexec/quorvex/quorvex-open-device</annotate>' "$policy"
! grep -q 'exec.path">/usr/bin/' "$policy"
test -x /usr/libexec/quorvex/quorvex-open-device
test -f /usr/share/quorvex/camera.bmp
# The installed GUI starts and keeps running (offscreen) until it is ended.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/quorvex >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ]
echo "package: ok"
