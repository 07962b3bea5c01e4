#!/usr/bin/env bash
# Runs a Windows test executable under Wine in a prefix owned by the build
# tree (never the user's ~/.wine).
#   wine_run.sh --start          prepare the prefix and keep one wineserver up
#   wine_run.sh --stop           stop that wineserver
#   wine_run.sh EXE [ARGS...]    run EXE in the prefix, passing its exit code
set -u

build_dir=${PALVO_BUILD_DIR:-$PWD}
export WINEPREFIX=${PALVO_WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
unset DISPLAY WAYLAND_DISPLAY
WINE=${PALVO_WINE:-wine}
WINESERVER=${PALVO_WINESERVER:-wineserver}
if [ -x /usr/lib/wine/wine64 ]; then WINE=${PALVO_WINE:-/usr/lib/wine/wine64}; fi

prepare_prefix() {
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [ -f "$WINEPREFIX/.palvo_ready" ] && exit 0
    "$WINE" wineboot --init >/dev/null 2>&1
    "$WINESERVER" -w
    # A setting that did not take would make tests fail for the prefix's
    # sake (a busy machine has seen one lost): each is read back, and a
    # prefix that cannot be set up is not marked ready and fails the run.
    reg() {  # reg KEY NAME DATA [TYPE]
      local key=$1 name=$2 data=$3 type=${4:-REG_SZ} shown=$3
      [ "$type" = REG_DWORD ] && shown=$(printf '0x%x' "$data")
      "$WINE" reg add "$key" /v "$name" /t "$type" /d "$data" /f >/dev/null 2>&1
      "$WINE" reg query "$key" /v "$name" 2>/dev/null | tr -d '\r' |
        grep -Eq "^ *$name +$type +$shown\$" && return 0
      echo "wine_run.sh: could not set $key\\$name in $WINEPREFIX" >&2
      return 1
    }
    # Deterministic version answers.
    reg 'HKCU\Software\Wine' Version win10 || exit 1
    # Crashing children (death tests) must end, not start a debugger.
    reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' Debugger '' || exit 1
    reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' Auto 0 || exit 1
    reg 'HKCU\Software\Wine\WineDbg' ShowCrashDialog 0 REG_DWORD || exit 1
    # No display here: windows stay invisible.
    reg 'HKCU\Software\Wine\Drivers' Graphics null || exit 1
    "$WINESERVER" -w
    touch "$WINEPREFIX/.palvo_ready"
  ) 9>"$WINEPREFIX.lock"
}

case "${1:-}" in
  --start)
    prepare_prefix || exit 1
    # Detached from our output, or CTest would wait for it.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    "$WINE" net start schedule >/dev/null 2>&1 || true
    exit 0
    ;;
  --stop)
    "$WINESERVER" -k 2>/dev/null
    exit 0
    ;;
  "")
    echo "usage: wine_run.sh --start | --stop | EXE [ARGS...]" >&2
    exit 2
    ;;
esac

prepare_prefix || exit 1
case "$(basename "$1")" in
  *_unittests.exe) ;;
  *) exec "$WINE" "$@" ;;
esac
# A test executable passes only when its test main returned: Wine ends some
# crashing processes with exit code 0 (testing/run_all_unittests.cc).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$WINE" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" = 0 ] && ! grep -aq '^palvo test main returned 0' "$log"; then
  echo "wine_run.sh: $1 ended with exit code 0 before its test main returned:" \
       "a crash, counted as a failure" >&2
  status=1
fi
exit "$status"
