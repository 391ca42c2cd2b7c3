#!/usr/bin/env bash
# Builds the installer and starts it under Wine: on your display when DISPLAY
# is set; otherwise a guided tour on a private Xvfb walks every page, installs
# into a temporary folder, saves one picture per page as build/tour-*.png and
# ends the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
QM_SKIP_ASAN=1 bash scripts/build.sh
exe="$root/build/win32/QuillmereSetup.exe"

if [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX="${WINEPREFIX:-$root/build/wine-user-prefix}"
  [ -d "$WINEPREFIX" ] || WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
  exec env LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all wine "$exe"
fi

exec python3 "$root/tests/wine/tour.py" --exe "$exe" \
  --driver "$root/build/win32/qmdriver.exe" --out "$root/build"
