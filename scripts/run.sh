#!/usr/bin/env bash
# Installs what is missing, builds, and starts Varoka.  Without a display it
# runs the bundled demo script instead and says where the results went.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
BIN=${BUILD_DIR:-build}/bin
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$BIN/KW" "$@"
fi
echo "No display: running the demo script $BIN/Script/Demo.kws with KW --run"
"$BIN/KW" --run "$BIN/Script/Demo.kws"
echo "The demo's results are in $BIN/DemoOut/"
