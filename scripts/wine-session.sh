# Sourced by the scripts that run the Windows edition under Wine: a
# throwaway Wine prefix on an X display of their own, and their end.

# Sets scratch (a folder removed at the end) and the prefix in it.
wine_session_prefix() {
  scratch=$(mktemp -d)
  export WINEPREFIX="$scratch/prefix" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
  xvfb=
}

# A display of our own: Xvfb picks a free number and tells it. Sets xvfb.
wine_session_display() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
  xvfb=$!
  local deadline=$((SECONDS + 30))
  until [[ -s "$scratch/display" ]]; do
    ((SECONDS < deadline)) || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.05
  done
  export DISPLAY=":$(head -n1 "$scratch/display")"
}

# The Wine server first (it ends every Wine process of the prefix), then the
# processes named (those that need the display), then X.
wine_session_end() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  local pid
  for pid in "$@"; do
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  done
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
