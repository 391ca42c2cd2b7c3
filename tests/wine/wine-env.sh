# Sourced: the test prefix and X display under build/, made once per build tree.
#   QM_BUILD_ROOT  folder that holds the prefix (default: <repo>/build)
QM_REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
QM_BUILD_ROOT="${QM_BUILD_ROOT:-$QM_REPO/build}"
export WINEPREFIX="${WINEPREFIX:-$QM_BUILD_ROOT/wine-prefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
QM_XVFB_DISPLAY_FILE="$QM_BUILD_ROOT/wine-display"

# Starts (once) a private Xvfb; its number and PID are kept beside the prefix.
qm_xvfb() {
  if [ -f "$QM_XVFB_DISPLAY_FILE" ]; then
    read -r num pid < "$QM_XVFB_DISPLAY_FILE" || true
    if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then
      export DISPLAY=":$num"; return 0
    fi
  fi
  num=$(( 90 + RANDOM % 400 ))
  while [ -e "/tmp/.X11-unix/X$num" ] || [ -e "/tmp/.X$num-lock" ]; do num=$((num + 1)); done
  Xvfb ":$num" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$num" ] && break; sleep 0.05; done
  [ -e "/tmp/.X11-unix/X$num" ] || { echo "Xvfb did not start" >&2; return 1; }
  echo "$num $pid" > "$QM_XVFB_DISPLAY_FILE"
  export DISPLAY=":$num"
}

# Makes the prefix on first use (a lock keeps parallel tests from racing).
qm_wine_ready() {
  mkdir -p "$QM_BUILD_ROOT"
  exec 9>"$QM_BUILD_ROOT/wine-prefix.lock"
  flock 9
  qm_xvfb
  if [ ! -f "$WINEPREFIX/.qm-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    # No window manager here: without this every shown window waits for one.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.qm-ready"
  fi
  if [ ! -f "$WINEPREFIX/.qm-ready-2" ]; then
    qm_font_replacements
    touch "$WINEPREFIX/.qm-ready-2"
  fi
  flock -u 9
}

# The prefix has neither of the installer's Chinese faces; without a stand-in a
# program whose ANSI code page is not 936 draws the Chinese texts as boxes.
# A UTF-16 .reg file: `wine reg add` would get the Chinese value name through
# the host locale, which may not be able to hold it.
qm_font_replacements() {
  local reg
  reg="$(mktemp --suffix=.reg)"
  { printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"Microsoft YaHei UI"="WenQuanYi Micro Hei"' \
      '"微软雅黑"="WenQuanYi Micro Hei"' | iconv -f UTF-8 -t UTF-16LE
  } > "$reg"
  wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
  rm -f "$reg"
}

# Ends the prefix's wineserver and the Xvfb this build tree started.
qm_wine_stop() {
  wineserver -k 2>/dev/null || true
  if [ -f "$QM_XVFB_DISPLAY_FILE" ]; then
    read -r _ pid < "$QM_XVFB_DISPLAY_FILE" || true
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    rm -f "$QM_XVFB_DISPLAY_FILE"
  fi
}
