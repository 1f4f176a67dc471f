# Sourced by the Windows scripts: a Wine prefix of the project's own, its server kept running between the
# tests (so that the programs that Wine starts beside a test do not hold the test's output open), and the
# build machine's folders seen through drive Z: as usual.
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/parlivex/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko downloads when the prefix is created.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
# It ends by itself a minute after its last program; it must not hold the caller's output open meanwhile.
# (A server that is already running says so and fails: it is as good.)
wineserver -p60 </dev/null >/dev/null 2>&1 || true
wineboot -i >/dev/null 2>&1 </dev/null
