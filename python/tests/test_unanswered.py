"""Requests the server never answers: the library's own answers, and the
push login it drops, fail the Futures with their own exception types."""

import json
import threading
import time

import concurrent.futures
import pytest

import tessel
from tessel import client as client_module
from support import ANSWER_WAIT, PASSWORD, account

# The library answers every main-channel request within 31 s; the push
# login is given up on after tessel.client.PUSH_LOGIN_GIVE_UP. Both are
# waited for well past that.
GIVE_UP_WAIT = client_module.PUSH_LOGIN_GIVE_UP + 20
QRY_MONEY, LOGIN = 6, 1  # message types of the frames


def send_when_up(client, func, **keys):
    """Sends once the library takes it: the links come up on their own."""
    deadline = time.monotonic() + ANSWER_WAIT
    while True:
        try:
            return client.request(func, **keys)
        except tessel.ChannelDown:
            assert time.monotonic() < deadline, f"{func}: its channel never came up"
            time.sleep(0.05)


def login_keys(user):
    return dict(user_name=user, pass_word=PASSWORD, heart_beat=30, compress=0, encrypt=0)


def test_time_outs_raise_timed_out(make_client, silent):
    client = make_client(silent)
    query = send_when_up(client, "QryMoney", **account("hung"))
    push_login = send_when_up(client, "Login_Trade_Push", **login_keys("hung"))
    with pytest.raises(tessel.TimedOut) as timed_out:
        query.result(GIVE_UP_WAIT)
    assert timed_out.value.answer == {"status": 2, "describe": "timeout"}
    # The library never answers a push login it times out: this package
    # gives up on it a little later.
    with pytest.raises(tessel.TimedOut) as dropped:
        push_login.result(GIVE_UP_WAIT)
    assert dropped.value.answer is None
    assert isinstance(dropped.value, TimeoutError)


def test_server_kind_switch_cancels_before_it_returns(make_client, silent):
    client = make_client(silent)
    query = send_when_up(client, "QryMoney", **account("hung"))
    silent.wait_for(QRY_MONEY)
    client.set_real_trade(False)
    assert query.done()
    with pytest.raises(tessel.Cancelled) as cancelled:
        query.result(0)
    assert cancelled.value.answer == {"status": 1, "describe": "cancel req"}


def test_close_fails_everything_outstanding(make_client, silent):
    client = make_client(silent)
    query = send_when_up(client, "QryMoney", **account("hung"))
    push_login = send_when_up(client, "Login_Trade_Push", **login_keys("hung"))
    # Written, so it is cancelled; one not yet written would fail as unsent.
    silent.wait_for(QRY_MONEY)
    silent.wait_for(LOGIN)
    client.close()
    with pytest.raises(tessel.Cancelled) as cancelled:
        query.result(0)
    assert cancelled.value.answer["describe"] == "cancel req"
    with pytest.raises(tessel.Cancelled) as dropped:
        push_login.result(0)
    assert dropped.value.answer is None
    with pytest.raises(tessel.ClientClosed):
        client.request("QryMoney", **account("hung"))


def in_thread(function):
    """Runs `function` on another thread; fails the test if it never returns."""
    done = concurrent.futures.Future()
    threading.Thread(target=lambda: done.set_result(function()), daemon=True).start()
    return done.result(ANSWER_WAIT)


@pytest.mark.parametrize("closer", ["set_real_trade", "close"])
def test_close_from_a_cancellation_made_on_the_calling_thread(make_client, silent, closer):
    # The cancellation's done-callback runs inside set_real_trade() or
    # close(), on the caller's thread; closing there must not wait for the
    # very call it is inside of.
    client = make_client(silent)
    query = send_when_up(client, "QryMoney", **account("hung"))
    silent.wait_for(QRY_MONEY)
    query.add_done_callback(lambda _: client.close())
    if closer == "set_real_trade":
        in_thread(lambda: client.set_real_trade(False))
    else:
        in_thread(client.close)
    assert client.closed
    with pytest.raises(tessel.Cancelled):
        query.result(0)
    in_thread(client.close)


@pytest.mark.parametrize("text, raises", [
    ({"status": 2, "describe": "timeout"}, tessel.TimedOut),
    ({"status": 1, "describe": "cancel req"}, tessel.Cancelled),
    ({"status": 1, "describe": "req send fail"}, tessel.SendFailed),
    ({"error_no": 2004, "error_info": "insufficient funds"}, tessel.ServerError),
    ({"object": "Login", "login_status": 1001, "describe": "wrong password"}, tessel.LoginFailed),
    ({"error_no": 0, "error_info": ""}, None),
    ({"object": "Login", "login_status": 0, "describe": ""}, None),
])
def test_answers_a_host_could_mistake_for_success_raise(text, raises):
    future = concurrent.futures.Future()
    client_module._settle(future, "Login", json.dumps(text, indent="\t"))
    if raises is None:
        assert future.result(0) == text
    else:
        with pytest.raises(raises):
            future.result(0)
