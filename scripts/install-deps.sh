#!/usr/bin/env bash
# Installs what building, testing and running Varoka needs on Debian 12.
# Optional packages (GNU parallel, for batches over several machines) are
# installed too when they can be had; KW_NO_OPTIONAL=1 leaves them out.
#   scripts/install-deps.sh --bench   also the peers that bench/compare_peers.sh
#                                     measures against (not needed to build or test)
set -euo pipefail
PKGS=(build-essential cmake ninja-build pkg-config dpkg-dev
      qt6-base-dev libgl-dev
      libjpeg62-turbo-dev libpng-dev zlib1g-dev libdeflate-dev libgif-dev
      libgtest-dev libbenchmark-dev
      fonts-ipafont-gothic qt6-translations-l10n xvfb xauth imagemagick
      appstream desktop-file-utils)
OPTIONAL=(parallel)
[ "${1:-}" = --bench ] && OPTIONAL+=(graphicsmagick libvips-tools pngcheck)
[ "${KW_NO_OPTIONAL:-0}" = 1 ] && OPTIONAL=()
missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t need < <(missing "${PKGS[@]}")
mapfile -t want < <(missing "${OPTIONAL[@]}")
if [ ${#need[@]} -gt 0 ] || [ ${#want[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
  fi
  if [ ${#want[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${want[@]}" ||
      echo "install-deps: optional packages not installed: ${want[*]}" >&2
  fi
fi
