#!/usr/bin/env bash
# The main job: installs what is needed, builds, starts the simulated trade
# server on loopback, writes the configuration beside the host tool, and runs
# the host tool through a small trading session (log in on both channels,
# query funds and positions, buy, see the pushes, query today's orders and
# trades, place an order that stays open and cancel it, log out).
#
# The terminal shows the host tool's lines: "-> request", "<- answer",
# "** push N", "** status". The build output, the library's console lines and
# the simulator's traces go to files named at the end; --verbose shows them
# inline instead.
#
# --walk SEED makes the simulator's prices move by a random walk drawn from
# SEED, so open orders, plans and condition orders fill as prices cross.
#
#   scripts/demo.sh [--verbose] [--walk SEED] [REQUESTS.jsonl]
#   (default: tools/host/demo-session.jsonl)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
verbose=0
walk=()
while [ $# -gt 0 ]; do
  case "$1" in
    --verbose) verbose=1; shift ;;
    --walk) walk=(--walk "$2"); shift 2 ;;
    *) break ;;
  esac
done
requests="${1:-$here/tools/host/demo-session.jsonl}"

logs="$here/build/demo-logs"
mkdir -p "$logs"
if [ "$verbose" = 1 ]; then
  "$here/scripts/install-deps.sh"
  TARGETS="Tessel tessel-host tessel-standin" "$here/scripts/build.sh" "$here/build"
else
  echo "building (output in $logs/build.log) ..."
  if ! { "$here/scripts/install-deps.sh" &&
         TARGETS="Tessel tessel-host tessel-standin" "$here/scripts/build.sh" "$here/build"; } \
       > "$logs/build.log" 2>&1; then
    tail -n 30 "$logs/build.log"
    echo "build failed: see $logs/build.log" >&2
    exit 1
  fi
fi

tools="$here/build/tools"
work="$(mktemp -d)"
standin_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -n "$standin_pid" ] && wait "$standin_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator runs until its standard input closes: the fifo held on fd 3.
# Its traces (one line per frame received and per push sent) go to stderr.
mkfifo "$work/standin-input"
if [ "$verbose" = 1 ]; then
  "$tools/standin/tessel-standin" --write-cert "$tools/ca.pem" --password secret "${walk[@]}" \
    < "$work/standin-input" > "$work/standin-ports" &
else
  "$tools/standin/tessel-standin" --write-cert "$tools/ca.pem" --password secret "${walk[@]}" \
    < "$work/standin-input" > "$work/standin-ports" 2> "$logs/simulator.log" &
fi
standin_pid=$!
exec 3> "$work/standin-input"
for _ in $(seq 100); do
  grep -q '^standin ' "$work/standin-ports" 2>/dev/null && break
  sleep 0.1
done
read -r _ main push < "$work/standin-ports"
main="${main#main=}"; push="${push#push=}"
echo "simulated trade server listening: main $main, push $push"

"$here/scripts/write-config.sh" "$tools" "$main" "$push"

status=0
if [ "$verbose" = 1 ]; then
  "$tools/tessel-host" --library "$here/build/libTessel.so" --requests "$requests" || status=$?
else
  "$tools/tessel-host" --library "$here/build/libTessel.so" --requests "$requests" \
    --console "$logs/library-console.log" || status=$?
  exec 3>&-
  wait "$standin_pid" 2>/dev/null || true
  standin_pid=""
  echo
  echo "library console lines: $logs/library-console.log"
  echo "library log file:      $tools/Log/$(date +%Y%m%d).tessel.log"
  echo "simulator traces:      $logs/simulator.log"
  echo "build output:          $logs/build.log"
fi
exit "$status"
