#!/usr/bin/env bash
# Installs what building, testing and running Varoka needs on Debian 12.
set -euo pipefail
PKGS=(build-essential cmake ninja-build pkg-config
      qt6-base-dev libgl-dev
      libjpeg62-turbo-dev libpng-dev zlib1g-dev libgif-dev
      libgtest-dev libbenchmark-dev
      fonts-ipafont-gothic qt6-translations-l10n xvfb xauth imagemagick)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
