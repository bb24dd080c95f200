# Sourced by the scripts that run Windows programs under Wine:
#   start_wine [win32|win64]
#                a Wine prefix of the script's own, its server and services
#                started once with their output sent nowhere (a runner that
#                captures standard error would otherwise wait for them);
#   stop_wine    the server ended and the prefix removed (for an EXIT trap).
start_wine() {
  export WINEDEBUG=-all
  # A prefix of the build's own kind: win32 for the 32-bit build, win64
  # (which runs both) for the 64-bit one.
  export WINEARCH=${1:-win32}
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/pellory-wine-XXXXXX")
  export WINEPREFIX
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
