"""A trading session against the simulator: logins, a query, an order that
fills with its pushes, a server error; blocking and asyncio."""

import asyncio
import threading

import pytest

import tessel
from support import (ANSWER_WAIT, LIBRARY, PASSWORD, PUSH_WAIT, account, buy_that_fills,
                     pushes_of_fill, write_config)


def test_login_on_both_channels(make_client, standin, user):
    client = make_client(standin)
    answers = client.login(user, PASSWORD)
    assert answers["main"]["connection_type"] == 2
    assert answers["push"]["connection_type"] == 3
    assert all(answer["login_status"] == 0 for answer in answers.values())
    # Each link says it is logged in through the general callback too.
    up = set()
    while up != {2, 3}:
        report = client.next_event(PUSH_WAIT).data
        if report.get("cmd") == "ConnectStatus" and report["connection_status"] == 1:
            up.add(report["connection_type"])


def test_wrong_password_fails_and_the_client_can_log_in_after(make_client, standin, user):
    client = make_client(standin)
    with pytest.raises(tessel.LoginFailed) as failed:
        client.login(user, "not-" + PASSWORD)
    assert failed.value.error_no != 0
    assert failed.value.error_info == "wrong password"
    assert failed.value.answer["object"] == "Login"
    assert client.login(user, PASSWORD)["push"]["login_status"] == 0


def test_query_money(logged_in, user):
    money = logged_in.request("QryMoney", **account(user)).result(ANSWER_WAIT)
    assert money["error_no"] == 0
    assert money["balance"] == 1000000.0
    assert money["record_set"][0]["fund_account"] == f"{user}-01"


def test_order_fills_with_its_pushes(logged_in, user):
    answer = logged_in.request("OrderSubmit", **buy_that_fills(user)).result(ANSWER_WAIT)
    assert answer["error_no"] == 0
    pushes = pushes_of_fill(logged_in.next_event, answer["request_no"], user)
    assert pushes[10]["business_amount"] == 100.0
    assert pushes[10]["business_price"] == 1700.0
    assert pushes[301]["balance"] == 1000000.0 - 170000.0
    assert pushes[302]["security_code"] == "600519"
    assert pushes[302]["current_amount"] == 100.0


def test_server_error_raises_with_the_answer(logged_in, user):
    order = dict(buy_that_fills(user), code="999999")
    with pytest.raises(tessel.ServerError) as failed:
        logged_in.request("OrderSubmit", **order).result(ANSWER_WAIT)
    assert failed.value.error_no == 2001
    assert failed.value.error_info == "unknown security"
    assert failed.value.answer["request_no"]


def test_callbacks_receive_pushes_and_reports_on_library_threads(make_client, standin, user):
    seen = {"push": [], "status": []}
    filled = threading.Event()

    def keep(kind):
        def callback(data):
            seen[kind].append((data, threading.current_thread() is threading.main_thread()))
            if kind == "push" and data["push_type"] == 302:
                filled.set()
        return callback

    client = make_client(standin, on_push=keep("push"), on_status=keep("status"))
    client.login(user, PASSWORD)
    client.request("OrderSubmit", **buy_that_fills(user)).result(ANSWER_WAIT)
    assert filled.wait(PUSH_WAIT)
    assert {data["push_type"] for data, _ in seen["push"]} >= {10, 17, 301, 302}
    assert any(data.get("object") == "Login" for data, _ in seen["status"])
    assert not any(on_main for kind in seen.values() for _, on_main in kind)
    # Nothing went to the queue: every kind had its callback.
    with pytest.raises(TimeoutError):
        client.next_event(0)


def test_asyncio_session(make_client, standin, user):
    client = make_client(standin)

    async def session():
        await client.alogin(user, PASSWORD)
        money = await client.arequest("QryMoney", **account(user))
        assert money["balance"] == 1000000.0
        answer = await client.arequest("OrderSubmit", **buy_that_fills(user))
        events = client.aevents()

        async def next_event(timeout):
            return await asyncio.wait_for(events.__anext__(), timeout)

        found = {}
        while len(found) < 4:
            event = await next_event(PUSH_WAIT)
            if event.kind == "push" and event.data.get("request_no", answer["request_no"]) \
                    == answer["request_no"]:
                found[event.data["push_type"]] = event.data
        assert set(found) == {10, 17, 301, 302}
        with pytest.raises(tessel.Refused):
            await client.arequest("NoSuchFunction")

    asyncio.run(asyncio.wait_for(session(), ANSWER_WAIT))


def test_the_process_has_one_home_and_it_needs_a_configuration(home, standin):
    write_config(home, standin)
    (home / "config" / "system.xml").unlink()
    with pytest.raises(tessel.TesselError, match="made no client"):
        tessel.Client(LIBRARY, home=home)
    # The library took its home at the process's first client.
    with pytest.raises(ValueError, match="home"):
        tessel.Client(LIBRARY, home=home / "elsewhere")
