# Sourced by the Windows scripts: a Wine prefix of the project's own, its server kept running between the
# tests (so that the programs that Wine starts beside a test do not hold the test's output open), and the
# build machine's folders seen through drive Z: as usual. Every Wine program the scripts run sees these
# variables, so no other prefix is ever made.
#   source tools/wine-env.sh                the prefix made (when new) and its server started
#   source tools/wine-env.sh --background   the variables only; a new prefix is made while the caller goes
#                                           on building, and wine_env_ready waits for it and starts the server
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/parlivex/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko downloads when the prefix is created, and no menu entries (nor their folders in $HOME).
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
mkdir -p "$WINEPREFIX"

wine_env_ready() {
  if [ -n "${wine_env_job:-}" ]; then
    wait "$wine_env_job" || true
    wine_env_job=
  fi
  # It ends by itself a minute after its last program; it must not hold the caller's output open meanwhile.
  # (A server that is already running says so and fails: it is as good.)
  wineserver -p60 </dev/null >/dev/null 2>&1 || true
  wineboot -i >/dev/null 2>&1 </dev/null
}

if [ "${1:-}" = --background ]; then
  # The server wineboot starts ends a few seconds after it; waiting for that leaves none behind whose
  # programs could hold a test's output open.
  (wineboot -i && wineserver -w) >/dev/null 2>&1 </dev/null &
  wine_env_job=$!
else
  wine_env_ready
fi
