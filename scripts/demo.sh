#!/usr/bin/env bash
# The main job: installs what is needed, builds, starts the trade-server
# stand-in on loopback, writes the configuration beside the host tool, and
# runs the host tool through a short session (log in on both channels, change
# the password, log out). Everything is shut down at the end.
#
#   scripts/demo.sh [REQUESTS.jsonl]   (default: tools/host/demo-session.jsonl)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
requests="${1:-$here/tools/host/demo-session.jsonl}"
"$here/scripts/install-deps.sh"
TARGETS="Tessel tessel-host tessel-standin" "$here/scripts/build.sh" "$here/build"

tools="$here/build/tools"
work="$(mktemp -d)"
standin_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -n "$standin_pid" ] && wait "$standin_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The stand-in runs until its standard input closes: the fifo held on fd 3.
mkfifo "$work/standin-input"
"$tools/standin/tessel-standin" --cert "$tools/ca.pem" --password secret \
  < "$work/standin-input" > "$work/standin-ports" &
standin_pid=$!
exec 3> "$work/standin-input"
for _ in $(seq 100); do
  grep -q '^standin ' "$work/standin-ports" 2>/dev/null && break
  sleep 0.1
done
read -r _ main push < "$work/standin-ports"
main="${main#main=}"; push="${push#push=}"
echo "stand-in listening: main $main, push $push"

mkdir -p "$tools/config"
cat > "$tools/config/system.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Tessel>
  <TesselServer>
    <Server name="stand-in" address="127.0.0.1" port="$main" pushaddress="127.0.0.1" pushport="$push" real="1"/>
  </TesselServer>
</Tessel>
XML

"$tools/tessel-host" --library "$here/build/libTessel.so" --requests "$requests"
