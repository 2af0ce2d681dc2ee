"""Client: one account connection (a main and a push link) through the
Tessel library."""

import asyncio
import atexit
import concurrent.futures
import contextlib
import ctypes
import functools
import itertools
import json
import logging
import os
import threading
import time

from . import _native
from ._events import Event, EventQueue
from .errors import (Cancelled, ChannelDown, ClientClosed, LoginFailed, Refused, SendFailed,
                     ServerError, TesselError, TimedOut, Unanswered)

_logger = logging.getLogger("tessel")

MAIN_LOGIN = "Login"
PUSH_LOGIN = "Login_Trade_Push"
_CHANNEL_DOWN = ("main channel down", "push channel down")
_LIBRARY_ANSWERS = {"timeout": TimedOut, "cancel req": Cancelled, "req send fail": SendFailed}

# The library gives up on a push login after at most 31 s and, unlike a
# main-channel request, never answers it then; past this its Future fails.
PUSH_LOGIN_GIVE_UP = 35.0
# How often login() asks again while the channel it needs comes up.
_RETRY_PAUSE = 0.1


class _ThreadState(threading.local):
    def __init__(self):
        self.callbacks = {}  # client -> depth of its callbacks running on this thread
        self.uses = {}  # client -> depth of its entry-point calls on this thread


_here = _ThreadState()


def _count(table, key, step):
    depth = table.get(key, 0) + step
    if depth:
        table[key] = depth
    else:
        table.pop(key, None)


@contextlib.contextmanager
def _inside_callback(client):
    _count(_here.callbacks, client, 1)
    try:
        yield
    finally:
        _count(_here.callbacks, client, -1)


# Requests taken by the library and not yet answered, by the context number
# the library hands back with the answer.
_contexts = itertools.count(1)
_pending = {}  # context -> (client, future, func)
_watches = {}  # context -> threading.Timer, for push logins
_pending_lock = threading.Lock()

# Clients not yet closed: the library may call them, so their callback
# objects must outlive any reference the host drops.
_open_clients = set()
# Notify callbacks of clients closed from inside one of their own callbacks:
# the library frees such a client later, at a moment no one is told of, and
# a callback object freed while it still runs would be freed code.
_lingering = []


def _settle(future, func, text):
    """Resolves `future` from one answer text."""
    try:
        answer = json.loads(text)
    except ValueError:
        answer = None
    if not isinstance(answer, dict):
        future.set_exception(TesselError(f"{func}: the answer is not a JSON object: {text[:200]!r}"))
        return
    if "error_no" in answer:
        if answer["error_no"] != 0:
            future.set_exception(
                ServerError(func, answer, answer["error_no"], answer.get("error_info", "")))
            return
    elif "object" in answer:
        # Login and Logout are answered by their status report.
        status = answer.get("login_status", 0)
        if status != 0:
            kind = LoginFailed if func in (MAIN_LOGIN, PUSH_LOGIN) else ServerError
            future.set_exception(kind(func, answer, status, answer.get("describe", "")))
            return
    elif "status" in answer and "describe" in answer:
        kind = _LIBRARY_ANSWERS.get(answer["describe"], Unanswered)
        future.set_exception(kind(func, answer))
        return
    future.set_result(answer)


def _on_answer(text_pointer, length, context):
    try:
        text = ctypes.string_at(text_pointer, length).decode("utf-8", errors="replace")
        with _pending_lock:
            entry = _pending.pop(context, None)
            watch = _watches.pop(context, None)
        if watch is not None:
            watch.cancel()
        if entry is None:
            return  # given up on already (closed, or a push login past its time)
        client, future, func = entry
        with _inside_callback(client):
            _settle(future, func, text)
    except BaseException:
        _logger.exception("tessel: the answer callback failed")


# One callback for every answer of every client: the context says whose.
_ANSWER = _native.AnswerFunction(_on_answer)


def _give_up(context, exception_type, text):
    with _pending_lock:
        entry = _pending.pop(context, None)
        watch = _watches.pop(context, None)
    if watch is not None:
        watch.cancel()
    if entry is not None:
        client, future, func = entry
        with _inside_callback(client):
            future.set_exception(exception_type(func, None, text))


class _NoticeSink:
    """What a client's own notify callback calls; emptied when the client
    is closed, so a callback object that must linger keeps no client."""

    __slots__ = ("client",)

    def __init__(self, client):
        self.client = client

    def __call__(self, text_pointer, length):
        try:
            client = self.client
            if client is not None:
                client._take_notice(ctypes.string_at(text_pointer, length))
        except BaseException:
            _logger.exception("tessel: the notify callback failed")


class Client:
    """One client of the Tessel library: a main and a push link to the trade
    servers of <home>/config/system.xml, connected (and reconnected) by the
    library on its own from the moment the client is made.

        with tessel.Client(home="/srv/tessel") as client:
            client.login("demo", "secret")
            money = client.request("QryMoney", user_name="demo",
                                   client_id="demo", fund_account="demo-01").result()
            for event in client.events():
                print(event.kind, event.data)

    library: path of libTessel.so / Tessel.dll; default the environment's
        TESSEL_LIBRARY, else one inside this package, else the loader's
        search for libTessel.so (Tessel.dll).
    home: the folder of config/system.xml, ca.pem and Log/. The library
        takes it once per process, at its first client: this sets
        TESSEL_HOME before that, and a later client naming another folder
        raises ValueError. Without it, TESSEL_HOME as set, or else the
        folder of the Python interpreter.
    on_push, on_status: called with each push (execution reports, order
        progress, fund and position changes, ...) and each status report
        (login, logout, connection), as a dict, on one of the library's
        threads. Events of a kind that has no callback are queued for
        events() / aevents() / next_event(); they queue without bound until
        read.

    Requests: request() returns a concurrent.futures.Future of the answer
    as a dict. The Future raises ServerError for a server answer whose
    "error_no" is not 0 (LoginFailed for a login turned down): a failure is
    never a result. It raises TimedOut, Cancelled or SendFailed (all
    Unanswered) when the library answered in the server's stead. A request
    the library does not take raises Refused (ChannelDown while the channel
    it needs is not up) at once, with the library's reason.

    Threads: every method may be called from any thread, including from
    inside callbacks; the Client serialises what needs it. Callbacks, and
    the Futures' done-callbacks, run on the library's threads (or on the
    thread calling close() or set_real_trade(), for the cancellations
    these make, and on a timer thread for a push login given up on): keep
    them short, as the library reads that link's next frames only after
    they return. Inside a callback, never wait for an answer (result(),
    login()): it may be due on the very thread that waits. Never call
    close() while holding a lock that a callback may wait for. Pushes and
    answers may arrive in any order relative to each other, and an order's
    pushes may precede its answer.

    close() ends both links, cancels what is outstanding and frees the
    client; it may be called twice, from any thread, and from inside any
    callback of the client. Clients still open at interpreter exit are
    closed then.
    """

    def __init__(self, library=None, home=None, *, on_push=None, on_status=None):
        self._library = _native.load(library)
        self._on_push = on_push
        self._on_status = on_status
        self._events = EventQueue()
        self._state = threading.Condition(threading.Lock())  # guards the three below
        self._users = 0  # threads inside an entry point with the handle
        self._closing = False
        self._handle = None
        self._closed = threading.Event()
        self._sink = _NoticeSink(self)
        # The library's general callback names no client: each client gets
        # a callback object of its own.
        self._notify = _native.NotifyFunction(self._sink)
        handle = self._library.create(self._notify, None if home is None else os.fspath(home))
        if not handle:
            self._sink.client = None
            self._closing = True
            self._closed.set()
            raise TesselError(
                "the library made no client: is "
                f"{os.path.join(self._library.home, 'config', 'system.xml')} there and usable? "
                f"(its log in {os.path.join(self._library.home, 'Log')} says why)")
        self._handle = handle
        _open_clients.add(self)

    # -- context manager --------------------------------------------------

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "closed" if self._closing else "open"
        return f"<tessel.Client {state} home={self._library.home!r}>"

    @property
    def closed(self):
        """True once close() has been called."""
        return self._closing

    @property
    def home(self):
        """The folder the library reads its configuration from."""
        return self._library.home

    @property
    def log_path(self):
        """The library's log file as last seen (the process's, shared by all
        clients)."""
        return self._library.log.path

    # -- requests ---------------------------------------------------------

    @contextlib.contextmanager
    def _using(self):
        with self._state:
            if self._closing:
                raise ClientClosed("the client is closed")
            self._users += 1
            handle = self._handle
        _count(_here.uses, self, 1)
        try:
            yield handle
        finally:
            _count(_here.uses, self, -1)
            with self._state:
                self._users -= 1
                if self._users == 0:
                    self._state.notify_all()

    def request(self, func, /, **keys):
        """Hands one request to the library; returns a Future of its answer.

        `func` names the function ("QryMoney", "OrderSubmit", ...), `keys`
        are its keys (see docs/messages.md). Raises Refused (ChannelDown
        while the channel it needs is not up) when the library does not take
        it, with the library's reason; ClientClosed after close().

        The Future's result is the server's answer as a dict. It raises
        ServerError (or LoginFailed) when the server says the request
        failed, and TimedOut, Cancelled or SendFailed when the library gave
        up on it. Every request taken on the main channel is answered within
        31 s, a push login within PUSH_LOGIN_GIVE_UP seconds. The Future
        cannot be cancelled: once taken, a request is the library's.
        """
        if not isinstance(func, str):
            raise TypeError(f"func must be a str, not {type(func).__name__}")
        if "func" in keys:
            raise TypeError("the function is named by the first argument, not a \"func\" key")
        text = json.dumps({"func": func, **keys}, ensure_ascii=False,
                          allow_nan=False).encode("utf-8")
        future = concurrent.futures.Future()
        future.set_running_or_notify_cancel()
        context = next(_contexts)
        with self._using() as handle:
            # Registered before the call: its answer may come before the call
            # returns.
            with _pending_lock:
                _pending[context] = (self, future, func)
            log = self._library.log
            with _native.SEND_LOCK:
                mark = log.mark()
                accepted = self._library.send_request(handle, text, len(text), _ANSWER, context)
                refusal = None if accepted else log.newest_since(mark)
            if accepted and func == PUSH_LOGIN:
                self._watch(context)
        if accepted:
            return future
        with _pending_lock:
            _pending.pop(context, None)
        if refusal is None:
            raise Refused(func, None, log.path)
        reason = refusal[1]
        raise (ChannelDown if reason in _CHANNEL_DOWN else Refused)(func, reason)

    def _watch(self, context):
        timer = threading.Timer(
            PUSH_LOGIN_GIVE_UP, _give_up,
            (context, TimedOut, "no answer: the library drops a push login it times out"))
        timer.daemon = True
        with _pending_lock:
            if context not in _pending:
                return
            _watches[context] = timer
        timer.start()

    async def arequest(self, func, /, **keys):
        """request() for asyncio: awaits the answer (or raises as the
        Future would). Refusals raise at once."""
        return await asyncio.wrap_future(self.request(func, **keys))

    def login(self, user, password, *, push=True, heart_beat=30, compress=0, encrypt=0,
              timeout=60.0, **keys):
        """Logs in on the main channel and then, with `push`, on the push
        channel; returns {"main": answer, "push": answer} (the login status
        reports). Blocks.

        A login is refused until its channel's link is up, which no report
        announces: it is asked again every 0.1 s while the library refuses
        it with ChannelDown, for up to `timeout` seconds in all, after which
        that ChannelDown is raised. Raises LoginFailed when the server turns
        it down, and TimedOut when no answer came within `timeout`. The
        library logs in again by itself after a lost link.
        """
        deadline = time.monotonic() + timeout
        fields = dict(user_name=user, pass_word=password, heart_beat=heart_beat,
                      compress=compress, encrypt=encrypt, **keys)
        answers = {"main": self._login_once(MAIN_LOGIN, fields, deadline, timeout)}
        if push:
            answers["push"] = self._login_once(PUSH_LOGIN, fields, deadline, timeout)
        return answers

    def _login_once(self, func, fields, deadline, timeout):
        while True:
            try:
                future = self.request(func, **fields)
                break
            except ChannelDown:
                if time.monotonic() + _RETRY_PAUSE > deadline:
                    raise
                time.sleep(_RETRY_PAUSE)
        try:
            return future.result(max(0.0, deadline - time.monotonic()))
        except concurrent.futures.TimeoutError:
            if future.done():
                raise  # the library's own time-out: TimedOut already
            raise TimedOut(func, None, f"no answer within the login's {timeout} s") from None

    async def alogin(self, user, password, **options):
        """login() for asyncio (it runs in the loop's default executor)."""
        loop = asyncio.get_running_loop()
        return await loop.run_in_executor(
            None, functools.partial(self.login, user, password, **options))

    def set_real_trade(self, real):
        """Switches both links to live (True) or simulated (False) servers.

        Outstanding main-channel requests fail with Cancelled (their
        done-callbacks run on this thread, before this returns); both links
        reconnect to servers of that kind, and the host must log in again.
        """
        with self._using() as handle:
            self._library.set_real_trade(handle, 1 if real else 0)

    # -- pushes and status reports ----------------------------------------

    def _take_notice(self, raw):
        text = raw.decode("utf-8", errors="replace")
        try:
            data = json.loads(text)
        except ValueError:
            data = None
        if not isinstance(data, dict):
            data = {"text": text}
        kind = "status" if ("cmd" in data or "object" in data) else "push"
        handler = self._on_status if kind == "status" else self._on_push
        with _inside_callback(self):
            if handler is None:
                self._events.put(Event(kind, data))
                return
            try:
                handler(data)
            except Exception:
                _logger.exception("tessel: the %s callback raised", kind)

    def next_event(self, timeout=None):
        """The next queued Event; waits up to `timeout` seconds (None: for
        ever). Raises TimeoutError when none came, ClientClosed once the
        client is closed and nothing is left."""
        return self._events.get(timeout)

    def events(self):
        """Iterates the queued Events as they come; ends once the client is
        closed and nothing is left."""
        while True:
            try:
                yield self._events.get()
            except ClientClosed:
                return

    async def anext_event(self):
        """next_event() for asyncio; a cancelled wait loses no event."""
        return await self._events.aget()

    async def aevents(self):
        """events() for asyncio."""
        while True:
            try:
                event = await self._events.aget()
            except ClientClosed:
                return
            yield event

    # -- closing ----------------------------------------------------------

    def close(self):
        """Ends both links and frees the client.

        Outstanding requests fail with Cancelled. Called from outside the
        client's callbacks, it returns once no callback of the client runs
        any more; from inside one, it returns at once, and no callback of
        the client starts after the current one returns. Further calls do
        nothing (from outside a callback they wait for the first to finish).
        """
        inside = self in _here.callbacks
        own_uses = _here.uses.get(self, 0)
        with self._state:
            first = not self._closing
            self._closing = True
            if first:
                # A call into the library on another thread still uses the
                # handle; this thread's own (a cancellation calling back
                # from set_real_trade) cannot be waited for.
                while self._users > own_uses:
                    self._state.wait()
                handle, self._handle = self._handle, None
        if not first:
            if not inside and own_uses == 0:
                self._closed.wait()
            return
        self._library.destroy_client(handle)
        # The library answers its main-channel requests itself; a push login
        # it would leave unanswered.
        with _pending_lock:
            left = [context for context, entry in _pending.items() if entry[0] is self]
        for context in left:
            _give_up(context, Cancelled, "the client was closed before an answer came")
        self._events.close()
        self._sink.client = None
        if inside or own_uses:
            _lingering.append(self._notify)
        self._notify = None
        _open_clients.discard(self)
        self._closed.set()


@atexit.register
def _close_open_clients():
    # Library threads must not call into an interpreter that is going away.
    for client in list(_open_clients):
        try:
            client.close()
        except Exception:
            _logger.exception("tessel: closing a client at exit failed")
