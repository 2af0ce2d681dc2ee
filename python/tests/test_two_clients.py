"""Two clients in one process: the library's general callback names no
client, so each must get its own pushes and no one else's."""

import queue

from tessel import Event
from support import ANSWER_WAIT, PASSWORD, buy_that_fills, fresh_user, pushes_of_fill


def owner(push):
    """The user a push is about."""
    if "fund_account" in push:
        return push["fund_account"].rsplit("-", 1)[0]
    return push.get("user_name", push.get("username"))


def test_each_client_gets_only_its_own_pushes(make_client, standin):
    first_user, second_user = fresh_user(), fresh_user()
    # One reads by callback, the other by the queue: both ways must hold.
    first_pushes = queue.Queue()
    first = make_client(standin, on_push=first_pushes.put)
    second = make_client(standin)
    first.login(first_user, PASSWORD)
    second.login(second_user, PASSWORD)
    orders = [first.request("OrderSubmit", **buy_that_fills(first_user)),
              second.request("OrderSubmit", **buy_that_fills(second_user))]
    first_answer, second_answer = (order.result(ANSWER_WAIT) for order in orders)

    def next_of_first(timeout):
        return Event("push", first_pushes.get(timeout=timeout))

    everything_first, everything_second = [], []
    pushes_of_fill(next_of_first, first_answer["request_no"], first_user, everything_first)
    pushes_of_fill(second.next_event, second_answer["request_no"], second_user,
                   everything_second)
    # Whatever came before the close, each client's pushes are its own.
    first.close()
    second.close()
    while not first_pushes.empty():
        everything_first.append(first_pushes.get())
    everything_second += [event.data for event in second.events() if event.kind == "push"]
    assert {owner(push) for push in everything_first} == {first_user}
    assert {owner(push) for push in everything_second} == {second_user}
