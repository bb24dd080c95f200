# Sourced by the scripts that run Windows programs under Wine:
#   start_wine   a Wine prefix of the script's own, its server and services
#                started once with their output sent nowhere (a runner that
#                captures standard error would otherwise wait for them);
#   stop_wine    the server ended and the prefix removed (for an EXIT trap).
start_wine() {
  export WINEDEBUG=-all
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/pellory-wine-XXXXXX")
  export WINEPREFIX
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
