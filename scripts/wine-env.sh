# Sourced by the scripts that run Windows programs: one quiet Wine prefix per
# build tree, never the user's home.
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/win/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# The size of the screen the windows are shown on (and photographed from).
KESTROM_SCREEN=${KESTROM_SCREEN:-1280x800}

# Creates the prefix once, then keeps one wineserver alive while tests run:
# a cold Wine start costs seconds, a warm one a fraction. The server and its
# helpers are started detached so they never hold a test runner's pipes open.
wine_start() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  wine_prepare_desktop
  # Persistent until wine_stop: a server that timed out between two tests
  # would be started again by the next test, holding that test's pipes.
  (setsid wineserver -p </dev/null >/dev/null 2>&1 &)
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}

# Windows show inside one Wine desktop window, which draws the frames, title
# bars and menus as Windows does (a bare X server has no window manager to
# draw them). The caption buttons need Wine's Marlett font in the prefix.
wine_prepare_desktop() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ]; then
    cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
  fi
  if ! grep -q '"Desktop"="Default"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$KESTROM_SCREEN" /f \
      </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
}

# Starts a private X server (Xvfb) on the first free display and exports
# DISPLAY, so that every Windows program of the run, the tests' windows
# included, shares one screen. display_stop ends it.
KESTROM_XVFB_PID=""
display_start() {
  local n
  for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 "${KESTROM_SCREEN}x24" -nolisten tcp </dev/null >/dev/null 2>&1 &
      KESTROM_XVFB_PID=$!
      local _
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      kill "$KESTROM_XVFB_PID" 2>/dev/null || true
    fi
  done
  echo "no free X display for the Windows tests" >&2
  return 1
}

display_stop() {
  [ -n "$KESTROM_XVFB_PID" ] && kill "$KESTROM_XVFB_PID" 2>/dev/null || true
  KESTROM_XVFB_PID=""
}
