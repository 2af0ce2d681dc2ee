"""A request the library does not take raises at once, with the library's
own reason read from its log, wherever the log has moved on to."""

import socket

import pytest

import tessel
from tessel import _refusals
from support import PASSWORD, Server, account


@pytest.mark.parametrize("func, keys, reason", [
    ("NoSuchFunction", {}, "unknown function"),
    ("QryMoney", {"user_name": "someone"}, 'key "client_id" is missing'),
    ("QryMoney", dict(account("someone"), client_id=7), 'key "client_id" has the wrong type'),
    ("QryMoney", dict(account("someone"), client_id="x" * 64),
     'key "client_id" is too long for its field'),
])
def test_refusal_carries_the_library_reason(logged_in, func, keys, reason):
    with pytest.raises(tessel.Refused) as refused:
        logged_in.request(func, **keys)
    assert refused.value.reason == reason
    assert refused.value.func == func
    assert not isinstance(refused.value, tessel.ChannelDown)


def test_login_gives_up_while_the_main_channel_stays_down(make_client, standin):
    # It listens but never accepts: TLS never comes up.
    with socket.create_server(("127.0.0.1", 0)) as hung:
        port = hung.getsockname()[1]
        client = make_client(Server(port, port, standin.cert))
        with pytest.raises(tessel.ChannelDown) as down:
            client.login("nobody", PASSWORD, timeout=1.0)
        assert down.value.reason == "main channel down"
        with pytest.raises(tessel.ChannelDown):
            client.request("QryMoney", **account("nobody"))
        client.close()


def test_reason_is_found_after_the_log_moves_to_a_numbered_file(make_client, standin, home, user):
    # The library reads the size limit at each client; the next client
    # without one lifts it again.
    client = make_client(standin, log_limit_mb=1)
    # Keys are looked at only once the main channel is up.
    client.login(user, PASSWORD, push=False)
    folder = home / "Log"
    numbered_before = set(folder.glob("*.*.tessel.log"))
    # A refusal's entry names the function: 300 KB names fill a 1 MiB file
    # within four; every reason must still be read right, including those
    # of the entries that went to a new file.
    for round_ in range(8):
        with pytest.raises(tessel.Refused) as refused:
            client.request(f"Padding{round_}" + "x" * 300_000)
        assert refused.value.reason == "unknown function"
        with pytest.raises(tessel.Refused) as refused:
            client.request("QryMoney", user_name=f"round{round_}")
        assert refused.value.reason == 'key "client_id" is missing'
    assert len(set(folder.glob("*.*.tessel.log")) - numbered_before) >= 2


def _entry(stamp_second, tag, content):
    return f"2024-03-15 09:30:{stamp_second:02d}:000:{tag}  {content}\r\n".encode()


def test_numbered_files_of_an_earlier_run_are_passed_over(tmp_path):
    # An earlier run of the day went on in file 1; this run's log starts in
    # the day's first file again and, at its limit, goes on in file 2.
    first = tmp_path / "20240315.tessel.log"
    earlier = tmp_path / "20240315.1.tessel.log"
    first.write_bytes(_entry(1, "Request_Refused", "content:Old - unknown function"))
    earlier.write_bytes(_entry(2, "Log_Continued", "after:20240315.tessel.log")
                        + _entry(3, "Request_Refused", "content:Older - main channel down"))
    log = _refusals.RefusalLog(str(tmp_path), "20240315", passed_over={1})
    mark = log.mark()
    assert log.newest_since(mark) is None
    with open(first, "ab") as f:
        f.write(_entry(4, "Response_Response", 'content:3 - {\r\n\t"a" : 1\r\n}'))
    ours = tmp_path / "20240315.2.tessel.log"
    ours.write_bytes(_entry(5, "Log_Continued", "after:20240315.tessel.log")
                     + _entry(6, "Request_Refused", "content:Mine - push channel down")
                     + _entry(7, "Request_Request", "content:9 - {\"func\":\"x - y\"}"))
    assert log.newest_since(mark) == ("Mine", "push channel down")
    assert log.path == str(ours)
    # A function name may hold " - "; the reason never does.
    mark = log.mark()
    with open(ours, "ab") as f:
        f.write(_entry(8, "Request_Refused", "content:A - B - unknown function"))
    assert log.newest_since(mark) == ("A - B", "unknown function")
