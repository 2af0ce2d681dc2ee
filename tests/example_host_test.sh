#!/usr/bin/env bash
# Runs a host program as its developer would: the simulator started with a
# home folder of its own, the configuration and certificate written there,
# and the host run with TESSEL_HOME naming it. The host must exit with 0
# having printed the order's answer and at least one push.
#
#   tests/example_host_test.sh STANDIN WRITE_CONFIG HOST [ARGS...]
set -euo pipefail
standin="$1"
write_config="$2"
shift 2
home="$(mktemp -d)"
standin_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -n "$standin_pid" ] && wait "$standin_pid" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- host output:"; cat "$home/out" 2>/dev/null || true
  echo "--- simulator:"; cat "$home/standin.log" 2>/dev/null || true
  exit 1
}

# The simulator takes free ports, prints them, and runs until its standard
# input, the fifo held on fd 3, closes.
mkfifo "$home/standin-input"
"$standin" --write-cert "$home/ca.pem" --password secret \
  < "$home/standin-input" > "$home/ports" 2> "$home/standin.log" &
standin_pid=$!
exec 3> "$home/standin-input"
until grep -q '^standin ' "$home/ports" 2>/dev/null; do
  kill -0 "$standin_pid" 2>/dev/null || grep -q '^standin ' "$home/ports" ||
    fail "the simulator did not start"
  sleep 0.1
done
read -r _ main push < "$home/ports"
"$write_config" "$home" "${main#main=}" "${push#push=}"

status=0
TESSEL_HOME="$home" "$@" > "$home/out" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the host exited with $status"
grep -q '^<- answer #3: ' "$home/out" || fail "no answer to the order"
sed -n '/^<- answer #3: /,/^}/p' "$home/out" | grep -q '"error_no" : 0,' ||
  fail "the order was not taken"
grep -q '^\*\* push: ' "$home/out" || fail "no push"
ls "$home"/Log/*.tessel.log > /dev/null 2>&1 || fail "the library wrote no log in TESSEL_HOME"
cat "$home/out"
echo "PASS"
