#!/usr/bin/env python3
"""Logs in to the simulated trade server, buys 100 of 600519 at up to 1800
(it fills at once at 1700), and prints the order's answer and the pushes
that follow: execution report, order progress, fund and position changes.

    tessel-standin --write-cert HOME/ca.pem --password secret &
    examples/order.py --home HOME --main-port N --push-port M

The home folder holds ca.pem (the simulator's certificate) and, unless
ports are given, config/system.xml; with ports, this writes that file for
the simulator on 127.0.0.1. Options default to the environment:
TESSEL_HOME, TESSEL_MAIN_PORT, TESSEL_PUSH_PORT, TESSEL_LIBRARY. Exits 0
once the order has filled and all four pushes have come.
"""

import argparse
import json
import os
import pathlib
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python"))

import tessel  # noqa: E402

PUSHES = {10: "execution report", 17: "order progress", 301: "fund change",
          302: "position change"}


def write_config(home, main_port, push_port):
    config = pathlib.Path(home) / "config"
    config.mkdir(parents=True, exist_ok=True)
    (config / "system.xml").write_text(f"""<?xml version="1.0" encoding="UTF-8"?>
<Tessel>
  <TesselServer>
    <VerifyServer/>
    <Server name="simulator" address="127.0.0.1" port="{main_port}"
            pushaddress="127.0.0.1" pushport="{push_port}" real="1"/>
  </TesselServer>
</Tessel>
""")


def show(title, data):
    print(f"{title}: {json.dumps(data, ensure_ascii=False, sort_keys=True)}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--home", default=os.environ.get("TESSEL_HOME"))
    parser.add_argument("--main-port", type=int, default=os.environ.get("TESSEL_MAIN_PORT"))
    parser.add_argument("--push-port", type=int, default=os.environ.get("TESSEL_PUSH_PORT"))
    parser.add_argument("--library", default=os.environ.get("TESSEL_LIBRARY"))
    parser.add_argument("--user", default="demo")
    parser.add_argument("--password", default="secret")
    args = parser.parse_args()
    if args.home is None:
        parser.error("name the home folder (--home or TESSEL_HOME)")
    if (args.main_port is None) != (args.push_port is None):
        parser.error("give both ports or neither")
    if args.main_port is not None:
        write_config(args.home, args.main_port, args.push_port)

    user = args.user
    order = dict(user_name=user, client_id=user, fund_account=f"{user}-01",
                 operator_id=f"{user}-op", code="600519", mark=ord("1"),
                 code_name="Kweichow Moutai", entrust_vol=100, entrust_price=1800,
                 entrust_bs=ord("1"), entrust_prop=ord("0"), business_type=ord("0"),
                 allow_cancel_order=ord("1"))
    with tessel.Client(args.library, home=args.home) as client:
        client.login(user, args.password)
        print(f"logged in as {user} on both channels", flush=True)
        try:
            answer = client.request("OrderSubmit", **order).result(timeout=40)
        except tessel.ServerError as error:
            show("order refused by the server", error.answer)
            return 1
        show("order answer", answer)
        # Pushes may come before the answer; they wait in the queue.
        waiting = set(PUSHES)
        deadline = time.monotonic() + 20
        while waiting:
            try:
                event = client.next_event(timeout=max(0.0, deadline - time.monotonic()))
            except TimeoutError:
                print(f"pushes missing: {sorted(waiting)}", file=sys.stderr)
                return 1
            if event.kind != "push":
                continue
            push_type = event.data.get("push_type")
            show(f"push {push_type} ({PUSHES.get(push_type, 'other')})", event.data)
            waiting.discard(push_type)
        client.request("Logout").result(timeout=40)
        print("logged out", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
