# What the bench/run-* scripts share: building their programs, and one Wine session on the
# benchmarks' own prefix (build/<arch>/bench), so that benchmarks may run beside scripts/test.
# bench/run-all starts the session once and every script it calls reuses it.
#   bench_build <targets...>         builds them (and the session's keep-alive); bench/run-all
#                                    builds every benchmark at once (target "benchmarks") first
#   bench_session                    starts the session unless one is running for the benchmarks
#   bench_mail_servers               starts the private mail servers for this script
#   bench_http_server                starts the private HTTP server for this script
#   bench_wine <program> [args...]   runs bin/<program>.exe under Wine
#   bench_stop                       stops what this script started (the scripts trap it on exit)
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
source "$ROOT/scripts/lib/wine-session.sh"
source "$ROOT/scripts/lib/servers.sh"

BENCH_ARCH="$(test_arch)"
BENCH_BUILD="$ROOT/build/$BENCH_ARCH"
BENCH_WORK="$BENCH_BUILD/bench"
BENCH_OWN_SESSION=
BENCH_OWN_MAIL=
BENCH_OWN_HTTP=

bench_build() {
  [ -n "${WISP_BENCH_BUILT:-}" ] && return 0
  ensure_tools
  # A build folder configured before a benchmark existed learns of it here.
  [ -f "$BENCH_BUILD/CMakeCache.txt" ] && cmake -S "$ROOT" -B "$BENCH_BUILD" >/dev/null
  configure_and_build "$BENCH_ARCH" "$@" wine_keepalive >/dev/null
}

bench_session() {
  mkdir -p "$BENCH_WORK"
  if [ -n "${WISP_BENCH_SESSION:-}" ]; then
    wine_session_env "$BENCH_ARCH" "$BENCH_WORK"
    return 0
  fi
  wine_session_start "$BENCH_ARCH" "$BENCH_WORK" "$BENCH_BUILD/bin/wine_keepalive.exe"
  BENCH_OWN_SESSION=1
  export WISP_BENCH_SESSION=1
}

bench_mail_servers() {
  mail_servers_start "$BENCH_WORK"
  BENCH_OWN_MAIL=1
}

bench_http_server() {
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
  http_server_start "$BENCH_WORK"
  BENCH_OWN_HTTP=1
}

bench_wine() {   # program [args...]
  local program="$1"; shift
  "$WINELOADER" "$BENCH_BUILD/bin/$program.exe" "$@"
}

bench_stop() {
  [ -n "$BENCH_OWN_MAIL" ] && mail_servers_stop
  [ -n "$BENCH_OWN_HTTP" ] && http_server_stop
  [ -n "$BENCH_OWN_SESSION" ] && wine_session_stop
  BENCH_OWN_MAIL= BENCH_OWN_HTTP= BENCH_OWN_SESSION=
  return 0
}
