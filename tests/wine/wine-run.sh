#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's own prefix and X display,
# making them on first use. Used as CMake's cross-compiling emulator, so every
# Windows test executable runs through here. The exit code is the program's.
#   QM_WINE_LOCALE  locale for the program (default zh_CN.UTF-8: ANSI code page 936)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
qm_wine_ready
exec env LC_ALL="${QM_WINE_LOCALE:-zh_CN.UTF-8}" wine "$@"
