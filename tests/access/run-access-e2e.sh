#!/usr/bin/env bash
# Reading a card that only root may open, as an unprivileged user, with the real parts: a system
# bus, polkitd, systemd-udevd and udisksd started here and stopped at the end, a test user, a
# polkit rule that lets it open devices, and a loop device over the sample card image that only
# root can read. Through UDisks2 the CLI and the window (on Xvfb, driven with xdotool) scan it as
# that user and save files owned by that user; with UDisks2 gone, the CLI does the same through
# the open helper run by pkexec; a user without the rule is refused and told what to do.
#   tests/access/run-access-e2e.sh BUILD_DIR
# Exit 77 (skipped, with the reason printed) where the machine cannot run it.
set -euo pipefail
build=$(cd "${1:-build/release}" && pwd)
skip() { echo "access-e2e: skipped: $*"; exit 77; }
fail() {
  echo "access-e2e: FAILED: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "${E2E_SCREENSHOT:-/tmp/quorvex-access-failure.png}" 2>/dev/null
  [ -n "${work:-}" ] && tail -n 20 "$work"/*.log >&2 2>/dev/null
  exit 1
}

[ "$(id -u)" -eq 0 ] || skip "it needs root (it starts the system's daemons and attaches a loop device)"
for tool in dbus-daemon dbus-send pkexec losetup runuser useradd userdel udevadm python3 Xvfb xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
polkitd=/usr/lib/polkit-1/polkitd udisksd=/usr/libexec/udisks2/udisksd udevd=/lib/systemd/systemd-udevd
for daemon in "$polkitd" "$udisksd" "$udevd"; do [ -x "$daemon" ] || skip "$daemon is not installed"; done
[ -u "$(command -v pkexec)" ] || skip "pkexec is not setuid root here"
if [ -S /run/dbus/system_bus_socket ] &&
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId >/dev/null 2>&1; then
  skip "a system bus runs here already; this test starts and stops its own"
fi

user=quorvex-e2e other=quorvex-e2e-other
work=$(mktemp -d /tmp/quorvex-access-XXXXXX)
chmod 755 "$work"
made_users=() pids=() loop="" udevd_started=0
cleanup() {
  set +e
  [ -n "${app:-}" ] && pkill -u "$user" -x quorvex 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  pkill -f "^$udisksd" 2>/dev/null
  [ -f "$work/dbus.pid" ] && kill "$(cat "$work/dbus.pid")" 2>/dev/null
  [ "$udevd_started" -eq 1 ] && udevadm control --exit 2>/dev/null
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  rm -f /etc/polkit-1/rules.d/49-quorvex-e2e.rules /usr/share/polkit-1/actions/org.example.quorvex.e2e.policy
  rm -f /run/dbus/system_bus_socket
  for u in "${made_users[@]}"; do userdel -r "$u" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# The programs and the card, where the test user can reach them.
mkdir -p "$work/bin"
cp "$build/cli/quorvex-cli" "$build/app/quorvex" "$build/access/quorvex-open-device" "$work/bin/"
cp "$build/sample/sample-card.img" "$work/card.img"
chmod -R a+rX "$work"

for u in "$user" "$other"; do
  if ! id "$u" >/dev/null 2>&1; then
    useradd -m -s /bin/sh "$u"
    made_users+=("$u")
  fi
done
home=$(getent passwd "$user" | cut -d: -f6)

# polkit: the test user may open devices through UDisks2 and run the open helper; nobody else may.
mkdir -p /etc/polkit-1/rules.d
cat >/etc/polkit-1/rules.d/49-quorvex-e2e.rules <<RULES
polkit.addRule(function(action, subject) {
    if (subject.user == "$user" && (action.id == "org.freedesktop.udisks2.open-device" ||
        action.id == "org.freedesktop.udisks2.open-device-system" || action.id == "org.example.quorvex.open-device"))
        return polkit.Result.YES;
});
RULES
sed "s#@QUORVEX_OPEN_DEVICE_HELPER@#$work/bin/quorvex-open-device#" \
  "$(dirname "$0")/../../access/org.example.quorvex.policy.in" >/usr/share/polkit-1/actions/org.example.quorvex.e2e.policy

# A system bus of our own on the standard socket (pkexec only talks to that one), without
# activation, so that a service stopped stays stopped.
mkdir -p /run/dbus
sed -e '/<standard_system_servicedirs\/>/d' -e 's#<includedir>system.d</includedir>#<includedir>/usr/share/dbus-1/system.d</includedir>#' \
  -e "s#<pidfile>.*</pidfile>#<pidfile>$work/dbus.pid</pidfile>#" /usr/share/dbus-1/system.conf >"$work/system.conf"
dbus-daemon --config-file="$work/system.conf" --fork >"$work/dbus.log" 2>&1 || fail "the system bus did not start"
"$polkitd" --no-debug >"$work/polkitd.log" 2>&1 &
pids+=($!)
if ! pgrep -x systemd-udevd >/dev/null; then
  "$udevd" --daemon >"$work/udevd.log" 2>&1 && udevd_started=1
fi
has_owner() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null |
    grep -q 'boolean true'
}
start_udisks() {
  "$udisksd" >>"$work/udisksd.log" 2>&1 &
  for _ in $(seq 100); do has_owner org.freedesktop.UDisks2 && return 0; sleep 0.1; done
  fail "udisksd did not come up"
}
for _ in $(seq 100); do has_owner org.freedesktop.PolicyKit1 && break; sleep 0.1; done
has_owner org.freedesktop.PolicyKit1 || fail "polkitd did not come up"

loop=$(losetup --find --show "$work/card.img") || skip "no loop device can be attached here"
udevadm trigger --action=add --subsystem-match=block >/dev/null 2>&1 || true
udevadm settle >/dev/null 2>&1 || true
chown root:root "$loop" && chmod 600 "$loop"
start_udisks
if runuser -u "$user" -- head -c 1 "$loop" >/dev/null 2>&1; then fail "$user can read $loop itself"; fi

# What the card holds, scanned as root from the image file.
"$work/bin/quorvex-cli" scan "$work/card.img" --exact --json --out "$work/reference" >"$work/reference.json" 2>/dev/null
"$work/bin/quorvex-cli" scan "$work/card.img" --out "$work/reference-described" >/dev/null 2>&1
found=$(grep -c '"start_sector"' "$work/reference.json")
[ "$found" -gt 0 ] || fail "the reference scan found nothing"

# Saved files as root's scan of the image saved them, each owned by the user.
check_saved() {  # folder what [reference]
  local folder=$1 what=$2 reference=${3:-$work/reference}
  [ "$(find "$folder/recoverd" -type f | wc -l)" -eq "$found" ] || fail "$what saved $(find "$folder/recoverd" -type f | wc -l) files, not $found"
  [ -z "$(find "$folder" ! -user "$user")" ] || fail "$what left files that $user does not own: $(find "$folder" ! -user "$user")"
  diff -r "$reference/recoverd" "$folder/recoverd" >/dev/null || fail "$what saved other bytes than a scan of the image"
}
as_user() { runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" "$@"; }

# 1. The CLI through UDisks2.
status=0
as_user "$work/bin/quorvex-cli" scan "$loop" --exact --json --out "$home/through-udisks" >"$work/udisks.json" 2>"$work/udisks.err" || status=$?
[ "$status" -eq 0 ] || fail "the CLI through UDisks2 ended with $status: $(cat "$work/udisks.err")"
python3 - "$work/reference.json" "$work/udisks.json" <<'PY' || fail "the CLI through UDisks2 listed other files than a scan of the image"
import json, sys
rows = lambda p: [(e["token"], e["start_sector"], e["length"], e["verdict"]) for e in map(json.loads, open(p)) if "summary" not in e]
sys.exit(0 if rows(sys.argv[1]) == rows(sys.argv[2]) else 1)
PY
check_saved "$home/through-udisks" "the CLI through UDisks2"
echo "access-e2e: the CLI as $user read $loop through UDisks2: $found files, all owned by $user"

# 2. Refused: a user the rule does not name, told how to get access (status 2).
status=0
runuser -u "$other" -- env -i PATH=/usr/bin:/bin "$work/bin/quorvex-cli" scan "$loop" >/dev/null 2>"$work/refused.err" || status=$?
[ "$status" -eq 2 ] || fail "a refused request ended with $status"
grep -q "'disk' group" "$work/refused.err" || fail "a refusal does not say how to get access: $(cat "$work/refused.err")"
echo "access-e2e: $other was refused (status 2) and told how to get access"

# 3. Without UDisks2: the open helper through pkexec.
pkill -f "^$udisksd"
for _ in $(seq 50); do has_owner org.freedesktop.UDisks2 || break; sleep 0.1; done
status=0
as_user QUORVEX_OPEN_DEVICE_HELPER="$work/bin/quorvex-open-device" "$work/bin/quorvex-cli" scan "$loop" --exact \
  --out "$home/through-helper" >/dev/null 2>"$work/helper.err" || status=$?
[ "$status" -eq 0 ] || fail "the CLI through the open helper ended with $status: $(cat "$work/helper.err")"
check_saved "$home/through-helper" "the CLI through the open helper"
echo "access-e2e: without UDisks2 the CLI as $user read $loop through the open helper: $found files, all owned by $user"

# 4. The window on Xvfb as the test user: through UDisks2, then with UDisks2 gone through the helper.
display=":$((70 + RANDOM % 9))"
runuser -u "$user" -- Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
row=$("$work/bin/quorvex-cli" list | awk -F'\t' -v d="$loop" '$2 == d { print NR; exit }')
[ -n "$row" ] || fail "quorvex-cli list does not list $loop"
# A window named so that is not one of those already there ($2: their ids), waited for up to 20 s.
wait_window() {
  local found
  for _ in $(seq 100); do
    found=$(xdotool search --name "$1" 2>/dev/null | grep -vxF -e "${2:-none}" | head -1 || true)
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.2
  done
  return 1
}
window_saves() {  # folder how
  local folder=$1 how=$2
  # A data folder of its own: no scan kept by the run before is offered.
  mkdir -p "$folder" "$folder.data" && chown "$user" "$folder" "$folder.data"
  runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    XDG_RUNTIME_DIR="$home" XDG_DATA_HOME="$folder.data" QUORVEX_OPEN_DEVICE_HELPER="$work/bin/quorvex-open-device" "$work/bin/quorvex" \
    >"$work/quorvex.log" 2>&1 &
  app=$!
  main=$(wait_window '^Quorvex$') || fail "the window did not open ($how)"
  sleep 2
  menu=$(xdotool getwindowgeometry "$main" | awk '/Geometry/ { split($2, s, "x"); print s[2] - 505 }')
  y() { echo $(($1 + menu)); }
  click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep "${3:-0.4}"; }
  # The first row is clicked (a click shows its properties and Next); the arrow keys then move
  # the selection, which Next takes, to the loop device's row, whatever the rows' height.
  click 100 "$(y 178)"
  for _ in $(seq 2 "$row"); do xdotool key Down; sleep 0.1; done
  local before
  before=$(xdotool search --name '^Quorvex$')
  click 721 "$(y 402)"                              # Next: "Allow access?"
  question=$(wait_window '^Quorvex$' "$before") || fail "Next asked nothing ($how)"
  sleep 0.5
  xdotool windowfocus --sync "$question" key Return  # Yes
  sleep 1.5
  click 721 "$(y 402)" 2                            # Next: the scan
  click 139 "$(y 55)" 0.8                           # Save All
  chooser=$(wait_window 'Please select the path to save the files') || fail "Save All asked for no folder ($how)"
  xdotool windowfocus --sync "$chooser"
  xdotool type --delay 2 "$folder"
  xdotool key Return
  for _ in $(seq 100); do
    [ "$(find "$folder" -type f 2>/dev/null | wc -l)" -ge "$found" ] && break
    sleep 0.2
  done
  sleep 0.5
  pkill -u "$user" -x quorvex 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=""
  check_saved "$folder" "the window $how" "$work/reference-described"
  echo "access-e2e: the window as $user read $loop $how and saved $found files owned by $user"
}
window_saves "$home/window-without-udisks" "through the open helper"
start_udisks
window_saves "$home/window-through-udisks" "through UDisks2"
