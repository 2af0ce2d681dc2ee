"""The event queue under asyncio: a wait that is given up loses nothing."""

import asyncio

import pytest

import tessel
from tessel._events import EventQueue


def test_a_cancelled_wait_takes_no_event():
    async def scenario():
        events = EventQueue()
        waiting = asyncio.ensure_future(events.aget())
        await asyncio.sleep(0)  # parked on the queue
        events.put("first")  # its wake-up is on the way...
        waiting.cancel()  # ...when the wait is given up
        with pytest.raises(asyncio.CancelledError):
            await waiting
        assert await events.aget() == "first"
        events.close()
        with pytest.raises(tessel.ClientClosed):
            await events.aget()

    asyncio.run(asyncio.wait_for(scenario(), 10))
