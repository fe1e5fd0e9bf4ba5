# A private Wine session for tests and the demo: an Xvfb display, a persistent wineserver and
# a keep-alive process on a prefix inside the build folder (created once, then reused).
#   wine_session_start <arch> <build dir> [keepalive exe]    wine_session_stop

wine_session_env() {   # arch build-dir
  export WINEPREFIX="$2/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  if [ "$1" = i686 ]; then
    export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
  else
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  fi
}

wine_session_start() {   # arch build-dir [keepalive]
  wine_session_env "$1" "$2"
  # Several sessions may start at once (other work trees, CI): take the first display that
  # really comes up.
  local n=90
  WINE_SESSION_XVFB=
  while [ $n -lt 190 ]; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      WINE_SESSION_XVFB=$!
      for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$WINE_SESSION_XVFB" 2>/dev/null || break
        sleep 0.1
      done
      if kill -0 "$WINE_SESSION_XVFB" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
        break
      fi
      WINE_SESSION_XVFB=
    fi
    n=$((n + 1))
  done
  [ -n "$WINE_SESSION_XVFB" ] || { echo "wine_session_start: no X display could be started" >&2; return 1; }
  export DISPLAY=":$n"

  if [ ! -f "$WINEPREFIX/.wisp-ready" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once)"
    rm -rf "$WINEPREFIX"
    "$WINELOADER" wineboot.exe -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    # A crashing test fails at once instead of waiting on winedbg's dialog.
    "$WINELOADER" reg.exe add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # Without a window manager, managed windows take ~2 s to hide and modal calls ~2 s to return.
    "$WINELOADER" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    "$WINESERVER" -w
    touch "$WINEPREFIX/.wisp-ready"
  fi
  "$WINESERVER" -p
  "$WINELOADER" wineboot.exe >/dev/null 2>&1 || true
  WINE_SESSION_KEEPALIVE=
  if [ -n "${3:-}" ] && [ -f "$3" ]; then
    "$WINELOADER" "$3" >/dev/null 2>&1 &
    WINE_SESSION_KEEPALIVE=$!
  fi
}

wine_session_stop() {
  [ -n "${WINE_SESSION_KEEPALIVE:-}" ] && kill "$WINE_SESSION_KEEPALIVE" 2>/dev/null
  [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k 2>/dev/null
  [ -n "${WINE_SESSION_XVFB:-}" ] && kill "$WINE_SESSION_XVFB" 2>/dev/null
  WINE_SESSION_KEEPALIVE= WINE_SESSION_XVFB=
  return 0
}
