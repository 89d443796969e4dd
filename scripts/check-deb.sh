#!/usr/bin/env bash
# Builds the Debian package and installs it into a fresh Debian 12 made with
# debootstrap (as root), then runs the installed program there as a plain
# user: the version, the processor list, the demo script with no window, and
# the desktop entry's command under a virtual display (a screenshot is left
# in the build folder as deb-check.png).
#   scripts/check-deb.sh [BUILD_DIR]      (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(readlink -f "${1:-build}")
[ "$(id -u)" -eq 0 ] || { echo "check-deb: run as root (debootstrap, chroot)" >&2; exit 2; }
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
# The mirror this machine's apt already uses.
MIRROR=$({ grep -rhoE '^(deb|URIs:)\s+\S+' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null || true; } |
         awk '{print $2}' | grep -E '/debian/?$' | head -n1 || true)
[ -n "$MIRROR" ] || { echo "check-deb: no Debian mirror found in the apt sources" >&2; exit 2; }

cmake --build "$BUILD"
(cd "$BUILD" && rm -f varoka_*.deb && cpack -G DEB)
DEB=$(ls "$BUILD"/varoka_*.deb)

ROOT=$(mktemp -d /var/tmp/kw-deb-check.XXXXXX)
chmod 755 "$ROOT"  # the new system's root: mktemp makes it private
cleanup() {
  umount "$ROOT/tmp/.X11-unix" 2>/dev/null || true
  umount "$ROOT/proc" 2>/dev/null || true
  [ -n "${XVFB:-}" ] && kill "$XVFB" 2>/dev/null || true
  rm -rf "$ROOT"
}
trap cleanup EXIT
debootstrap --variant=minbase bookworm "$ROOT" "$MIRROR"
mount -t proc proc "$ROOT/proc"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
cp "$DEB" "$ROOT/tmp/"
in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$DEB")"
in_root useradd -m alice
as_alice() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/home/alice su alice -c "$*"; }

in_root touch /tmp/kw-before-runs
as_alice 'varoka --version'
as_alice 'varoka --list | head -n 3'
as_alice 'cd && varoka --run /usr/lib/varoka/Script/Demo.kws && ls ~/.local/share/Varoka/DemoOut'
# Nothing in the installed program folder was written by the runs.
as_alice 'test -z "$(find /usr/lib/varoka -newer /tmp/kw-before-runs -print -quit)"'
grep -E '^(Exec|MimeType)=' "$ROOT/usr/share/applications/org.varoka.Varoka.desktop"

# The desktop entry's command with a window, on a virtual display shared
# into the new system.
DISPLAY_NO=97
Xvfb ":$DISPLAY_NO" -screen 0 1280x800x24 -nolisten tcp & XVFB=$!
sleep 2
mkdir -p "$ROOT/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$ROOT/tmp/.X11-unix"
EXEC=$(sed -n 's/^Exec=//p' "$ROOT/usr/share/applications/org.varoka.Varoka.desktop" | sed 's/ %F//')
as_alice "DISPLAY=:$DISPLAY_NO timeout 8 $EXEC /usr/lib/varoka/Script/Samples/Flower.bmp" & APP=$!
sleep 6
DISPLAY=":$DISPLAY_NO" import -window root "$BUILD/deb-check.png" || true
wait "$APP" || true
echo "check-deb: installed and ran $(basename "$DEB") in a fresh Debian 12; screenshot $BUILD/deb-check.png"
