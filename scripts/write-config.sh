#!/usr/bin/env bash
# write-config.sh DIR MAIN_PORT PUSH_PORT: writes DIR/config/system.xml for
# the simulated trade server on loopback, with the server's certificate
# checked against DIR/ca.pem (the simulator's own, written by --write-cert).
set -euo pipefail
dir="${1:?usage: write-config.sh DIR MAIN_PORT PUSH_PORT}"
main="${2:?usage: write-config.sh DIR MAIN_PORT PUSH_PORT}"
push="${3:?usage: write-config.sh DIR MAIN_PORT PUSH_PORT}"
mkdir -p "$dir/config"
cat > "$dir/config/system.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Tessel>
  <TesselServer>
    <!-- ca.pem is the simulator's own certificate: check the server by it. -->
    <VerifyServer/>
    <Server name="simulator" address="127.0.0.1" port="$main" pushaddress="127.0.0.1" pushport="$push" real="1"/>
  </TesselServer>
</Tessel>
XML
