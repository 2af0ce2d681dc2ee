"""A client's pushes and status reports, queued for whoever reads them: a
thread blocking on get(), or a coroutine awaiting aget()."""

import asyncio
import collections
import threading
import time

from .errors import ClientClosed


class Event(collections.namedtuple("Event", "kind data")):
    """One text from the library's general callback.

    `kind` is "status" (a login, logout or connection report: it has "cmd"
    or "object") or "push" (anything else: execution reports, order
    progress, fund and position changes, ...). `data` is the parsed JSON.
    """

    __slots__ = ()


def _wake(future):
    if not future.done():
        future.set_result(None)


class EventQueue:
    """Unbounded and thread-safe. A coroutine that is cancelled while it
    waits loses nothing: waiters are only told that something arrived, and
    take it themselves."""

    def __init__(self):
        self._items = collections.deque()
        self._ready = threading.Condition(threading.Lock())
        self._closed = False
        self._waiters = set()  # (loop, asyncio.Future) of waiting coroutines

    def put(self, event):
        with self._ready:
            if self._closed:
                return
            self._items.append(event)
            self._ready.notify()
            waiters = list(self._waiters)
        self._wake_all(waiters)

    def close(self):
        """Readers get what is queued, then ClientClosed."""
        with self._ready:
            self._closed = True
            self._ready.notify_all()
            waiters = list(self._waiters)
        self._wake_all(waiters)

    @staticmethod
    def _wake_all(waiters):
        for loop, future in waiters:
            try:
                loop.call_soon_threadsafe(_wake, future)
            except RuntimeError:
                pass  # its loop is closed; nobody waits there any more

    def get(self, timeout=None):
        deadline = None if timeout is None else time.monotonic() + timeout
        with self._ready:
            while not self._items:
                if self._closed:
                    raise ClientClosed("the client is closed")
                left = None if deadline is None else deadline - time.monotonic()
                if left is not None and left <= 0:
                    raise TimeoutError(f"no event within {timeout} s")
                self._ready.wait(left)
            return self._items.popleft()

    async def aget(self):
        loop = asyncio.get_running_loop()
        while True:
            with self._ready:
                if self._items:
                    return self._items.popleft()
                if self._closed:
                    raise ClientClosed("the client is closed")
                waiter = (loop, loop.create_future())
                self._waiters.add(waiter)
            try:
                await waiter[1]
            finally:
                with self._ready:
                    self._waiters.discard(waiter)
