#!/usr/bin/env bash
# End-to-end run of scripts/try.sh as a newcomer would: log in on both
# channels, send a malformed line and one with a key missing, log out, close
# standard input. Each refusal must arrive with its reason well before the
# host tool's 20-second channel wait could have run out, and the session must
# end on its own with the simulator stopped.
#
#   tests/try_test.sh TRY_SCRIPT BUILD_DIR
set -euo pipefail
try="$1"
build="$2"
work="$(mktemp -d)"
try_pid=""
cleanup() {
  exec 4>&- 2>/dev/null || true
  [ -n "$try_pid" ] && kill "$try_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- try.sh output:"; cat "$work/out" 2>/dev/null || true
  exit 1
}

# Whether a TCP port is held by any socket on this machine, and whether one
# listens on it (local address in column 2, state in column 4, hex in /proc).
port_in_use() {
  awk 'FNR > 1 {print $2}' /proc/net/tcp /proc/net/tcp6 2>/dev/null |
    grep -q "$(printf ':%04X$' "$1")"
}
listening() {
  awk 'FNR > 1 && $4 == "0A" {print $2}' /proc/net/tcp /proc/net/tcp6 2>/dev/null |
    grep -q "$(printf ':%04X$' "$1")"
}

# Two free ports below the range the kernel hands out to port-0 listeners
# (which the other tests use), spread by process id so parallel runs in
# other trees start apart.
pick_ports() {
  local base=$((20000 + ($$ * 7 + RANDOM) % 10000))
  local p
  for ((p = base; p < base + 2000; p += 2)); do
    if ! port_in_use "$p" && ! port_in_use "$((p + 1))"; then
      main_port=$p; push_port=$((p + 1)); return 0
    fi
  done
  return 1
}

# wait_for PATTERN SECONDS: until the output holds a line matching PATTERN.
wait_for() {
  local deadline=$((SECONDS + $2))
  until grep -qE "$1" "$work/out" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    kill -0 "$try_pid" 2>/dev/null || grep -qE "$1" "$work/out" || return 1
    sleep 0.1
  done
}

login='{"func":"Login","user_name":"demo","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0}'
push_login='{"func":"Login_Trade_Push","user_name":"demo","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0}'

started=0
for attempt in 1 2 3; do
  pick_ports || fail "no free pair of ports"
  rm -f "$work/in"; mkfifo "$work/in"
  "$try" --build "$build" --main-port "$main_port" --push-port "$push_port" - \
    < "$work/in" > "$work/out" 2>&1 &
  try_pid=$!
  exec 4> "$work/in"
  if wait_for '^identifier: ' 60; then started=1; break; fi
  # Only a port taken between the check and the simulator's start (by a
  # process outside this test) earns another pair.
  exec 4>&-
  status=0; wait "$try_pid" || status=$?; try_pid=""
  [ "$status" -eq 3 ] || fail "try.sh did not start the session (exit $status)"
  echo "ports $main_port/$push_port were taken; trying others"
done
[ "$started" = 1 ] || fail "the simulator never started"

echo "$login" >&4
echo "$push_login" >&4
wait_for '^<- answer #2: ' 60 || fail "the logins were not answered"
grep -q '"connection_status" : 1' "$work/out" || fail "no ConnectStatus report"

# With both channels up, a refusal says why at once: well within the 20 s the
# host tool would spend on a channel that is coming up.
echo '{"func":"QryMoney","user_name":"demo"' >&4
wait_for '^!! refused #3: ' 10 || fail "the malformed line was not refused promptly"
grep -qE '^!! refused #3: not JSON \(Line 1, Column [0-9]+ .+\)$' "$work/out" ||
  fail "the malformed line's refusal does not say it is not JSON"

echo '{"func":"QryMoney","user_name":"demo","client_id":"demo"}' >&4
wait_for '^!! refused #4: ' 10 || fail "the request with a key missing was not refused promptly"
grep -qx '!! refused #4: key "fund_account" is missing' "$work/out" ||
  fail "the missing key's refusal does not name the key"

echo '{"func":"Logout"}' >&4
wait_for '^<- answer #5: ' 60 || fail "the logout was not answered"
exec 4>&-  # the end of the session
status=0
wait "$try_pid" || status=$?
try_pid=""

grep -qx '== session: 5 requests, 2 refused, 0 unanswered' "$work/out" ||
  fail "the session's summary is not the expected one"
[ "$status" -eq 1 ] || fail "try.sh exited with $status, not 1 for the refused requests"
! grep -qE '^\.\. waiting #[345]:' "$work/out" || fail "a request waited with its channels up"
! grep -q 'no answer' "$work/out" || fail "a request went unanswered"
# The simulator went with the session (try.sh waits for it): nothing
# listens on its ports.
! listening "$main_port" || fail "the simulator still listens on $main_port"
! listening "$push_port" || fail "the simulator still listens on $push_port"
echo "PASS"
