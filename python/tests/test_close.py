"""close(): from inside the client's own callbacks, twice, and while other
threads are still sending."""

import concurrent.futures
import threading

import pytest

import tessel
from support import ANSWER_WAIT, PASSWORD, PUSH_WAIT, account, buy_that_fills


def test_close_from_inside_a_push_callback(make_client, standin, user):
    inside = {}
    returned = threading.Event()

    def on_push(push):
        if "push" in inside:
            return
        inside["push"] = push
        client.close()
        inside["closed"] = client.closed
        returned.set()

    client = make_client(standin, on_push=on_push)
    client.login(user, PASSWORD)
    order = client.request("OrderSubmit", **buy_that_fills(user))
    assert returned.wait(PUSH_WAIT), "close() inside the push callback did not return"
    assert inside["closed"]
    # The order's answer may have come before the close or been cancelled
    # by it; either way its Future is settled.
    try:
        assert order.result(ANSWER_WAIT)["error_no"] == 0
    except tessel.Cancelled:
        pass
    client.close()  # from outside: waits for the first close to be done
    with pytest.raises(tessel.ClientClosed):
        client.request("QryMoney", **account(user))
    # Pushes went to the callback; the queue holds the status reports and
    # its iterator ends.
    assert {event.kind for event in client.events()} == {"status"}


def test_close_from_inside_a_status_callback_settles_the_login(make_client, standin, user):
    # The Login report comes through the general callback before the
    # Login's own answer; closing there means that answer never comes.
    reports = []

    def on_status(report):
        reports.append(report)
        client.close()

    client = make_client(standin, on_status=on_status)
    with pytest.raises(tessel.Cancelled):
        client.login(user, PASSWORD, timeout=ANSWER_WAIT)
    assert reports[0]["object"] == "Login"
    assert client.closed


def test_close_from_inside_an_answer(logged_in, user):
    query = logged_in.request("QryMoney", **account(user))
    closed_inside = concurrent.futures.Future()

    def close_there(answered):
        logged_in.close()
        closed_inside.set_result(answered.result())

    query.add_done_callback(close_there)
    assert closed_inside.result(ANSWER_WAIT)["error_no"] == 0
    logged_in.close()
    assert logged_in.closed


def test_close_while_other_threads_send(logged_in, user):
    futures = []
    enough = threading.Event()

    def send():
        for _ in range(2000):
            try:
                futures.append(logged_in.request("QryMoney", **account(user)))
            except tessel.ClientClosed:
                return
            except tessel.Refused as refused:
                assert refused.reason == "too many requests outstanding"
            if len(futures) >= 200:
                enough.set()

    senders = [threading.Thread(target=send) for _ in range(4)]
    for sender in senders:
        sender.start()
    assert enough.wait(ANSWER_WAIT)
    closers = [threading.Thread(target=logged_in.close) for _ in range(3)]
    for closer in closers:
        closer.start()
    for thread in senders + closers:
        thread.join(ANSWER_WAIT)
        assert not thread.is_alive()
    # Every request taken is settled once close() has returned: answered
    # before it, cancelled by it, or never written before the link ended.
    outcomes = set()
    for future in futures:
        assert future.done()
        try:
            outcomes.add(future.result(0)["error_no"])
        except (tessel.Cancelled, tessel.SendFailed) as unanswered:
            outcomes.add(type(unanswered).__name__)
    assert 0 in outcomes
    assert all(event.kind == "status" for event in logged_in.events())
