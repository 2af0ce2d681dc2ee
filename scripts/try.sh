#!/usr/bin/env bash
# A session by hand: builds what is needed, starts the simulated trade server
# on fixed ports with the demo's account ready (user "demo", password
# "secret"), writes the matching configuration and certificate beside the
# host tool, and runs the host tool on the requests typed on standard input
# (one JSON request per line; end with Ctrl-D) or read from a file. The
# simulator stops when the session ends.
#
#   scripts/try.sh [--main-port N] [--push-port N] [--build DIR] [REQUESTS.jsonl|-]
#
# Ports default to 18400 and 18401, or TESSEL_MAIN_PORT and TESSEL_PUSH_PORT.
# --build DIR uses the programs already built in DIR and builds nothing.
# The library's console lines and the simulator's traces go to files named
# at the start; the log file's place is named there too.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
main_port="${TESSEL_MAIN_PORT:-18400}"
push_port="${TESSEL_PUSH_PORT:-18401}"
build=""
requests="-"

usage() {
  echo "usage: scripts/try.sh [--main-port N] [--push-port N] [--build DIR] [REQUESTS.jsonl|-]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --main-port) [ $# -ge 2 ] || usage; main_port="$2"; shift 2 ;;
    --push-port) [ $# -ge 2 ] || usage; push_port="$2"; shift 2 ;;
    --build) [ $# -ge 2 ] || usage; build="$(cd "$2" && pwd)"; shift 2 ;;
    -h|--help) usage ;;
    -*) [ "$1" = "-" ] || usage; requests="-"; shift ;;
    *) requests="$1"; shift ;;
  esac
done
if [ "$requests" != "-" ] && [ ! -r "$requests" ]; then
  echo "try: cannot read $requests" >&2
  exit 2
fi

if [ -z "$build" ]; then
  build="$here/build"
  mkdir -p "$build"
  echo "building (output in $build/try-build.log) ..."
  if ! { "$here/scripts/install-deps.sh" &&
         TARGETS="Tessel tessel-host tessel-standin" "$here/scripts/build.sh" "$build"; } \
       > "$build/try-build.log" 2>&1; then
    tail -n 30 "$build/try-build.log"
    echo "try: build failed: see $build/try-build.log" >&2
    exit 1
  fi
fi
tools="$build/tools"
for program in "$tools/tessel-host" "$tools/standin/tessel-standin" "$build/libTessel.so"; do
  [ -e "$program" ] || { echo "try: $program is missing" >&2; exit 1; }
done

logs="$build/try-logs"
mkdir -p "$logs"
work="$(mktemp -d)"
standin_pid=""
stop_simulator() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$standin_pid" ]; then
    wait "$standin_pid" 2>/dev/null || true
    standin_pid=""
  fi
}
trap 'stop_simulator; rm -rf "$work"' EXIT

# The simulator runs until its standard input closes: the fifo held on fd 3.
mkfifo "$work/standin-input"
"$tools/standin/tessel-standin" --write-cert "$tools/ca.pem" --password secret \
  --main-port "$main_port" --push-port "$push_port" \
  < "$work/standin-input" > "$work/standin-ports" 2> "$logs/simulator.log" &
standin_pid=$!
exec 3> "$work/standin-input"
waits=0
until grep -q '^standin ' "$work/standin-ports" 2>/dev/null; do
  waits=$((waits + 1))
  if ! kill -0 "$standin_pid" 2>/dev/null || [ "$waits" -gt 300 ]; then
    wait "$standin_pid" 2>/dev/null || true
    standin_pid=""
    cat "$logs/simulator.log" >&2
    echo "try: the simulator did not start (ports $main_port and $push_port in use?" \
         "choose others with --main-port and --push-port)" >&2
    exit 3
  fi
  sleep 0.1
done

"$here/scripts/write-config.sh" "$tools" "$main_port" "$push_port"

cat <<EOF
simulated trade server listening on 127.0.0.1: main $main_port, push $push_port
  account: user "demo", password "secret" (1,000,000 in cash, 1000 shares of 600000)
  configuration: $tools/config/system.xml
library console lines: $logs/library-console.log
library log file:      $tools/Log/$(date +%Y%m%d).tessel.log
simulator traces:      $logs/simulator.log
EOF
if [ "$requests" = "-" ] && [ -t 0 ]; then
  cat <<'EOF'
Type one JSON request per line (Ctrl-D ends the session), for instance:
  {"func":"Login","user_name":"demo","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0}
  {"func":"Login_Trade_Push","user_name":"demo","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0}
  {"func":"QryMoney","user_name":"demo","client_id":"demo","fund_account":"demo-01"}
  {"func":"Logout"}
More in tools/host/demo-session.jsonl and docs/messages.md.
EOF
fi
echo

status=0
"$tools/tessel-host" --library "$build/libTessel.so" --requests "$requests" \
  --console "$logs/library-console.log" || status=$?
stop_simulator
exit "$status"
