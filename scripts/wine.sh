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
  WINE_LOADER_FOLDER=
  if ! runs_32bit_code; then
    # Debian's `wine` starts every program through the 32-bit loader, which
    # this machine refuses: 64-bit programs go to the 64-bit one instead.
    WINE_LOADER_FOLDER=$(mktemp -d "${TMPDIR:-/tmp}/pellory-wine64-XXXXXX")
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      > "$WINE_LOADER_FOLDER/wine"
    chmod +x "$WINE_LOADER_FOLDER/wine"
    PATH=$WINE_LOADER_FOLDER:$PATH
  fi
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" ${WINE_LOADER_FOLDER:+"$WINE_LOADER_FOLDER"}
}

# Whether this machine runs 32-bit x86 programs under Wine, as the 32-bit
# Windows build needs: wine32 installed, and a machine that runs them (a
# virtual machine whose host runs 64-bit user code only refuses them, and
# the system says so: "Exec format error", status 126).
runs_32bit_code() {
  [ -x /usr/lib/wine/wine ] || return 1
  /usr/lib/wine/wine --version >/dev/null 2>&1
  [ $? -ne 126 ]
}

# Why the 32-bit build cannot run here, where runs_32bit_code says so.
no_32bit_reason() {
  if [ -x /usr/lib/wine/wine ]; then
    echo "this machine refuses 32-bit programs (Exec format error)"
  else
    echo "wine32 is not installed, which scripts/install-deps.sh windows could not do"
  fi
}
