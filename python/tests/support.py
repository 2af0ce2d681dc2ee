"""What the tests share: where the build is, the simulator, a server that
has hung, the configuration, and the simulator's accounts and orders."""

import collections
import itertools
import os
import pathlib
import selectors
import shutil
import socket
import ssl
import subprocess
import threading
import time

REPO = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("TESSEL_BUILD", REPO / "build"))
LIBRARY = pathlib.Path(os.environ.get("TESSEL_LIBRARY", BUILD / "libTessel.so"))
STANDIN = pathlib.Path(os.environ.get("TESSEL_STANDIN", BUILD / "tools" / "standin" / "tessel-standin"))
PASSWORD = "secret"

# Generous bounds for what must happen; none is a measure of speed.
START_WAIT = 30.0
ANSWER_WAIT = 40.0
PUSH_WAIT = 20.0

Server = collections.namedtuple("Server", "main_port push_port cert")


def start_standin(folder):
    """Starts the simulator on free loopback ports; returns (process, Server).
    It runs until its standard input is closed."""
    cert = pathlib.Path(folder) / "standin-cert.pem"
    trace = open(pathlib.Path(folder) / "simulator.log", "wb")
    process = subprocess.Popen(
        [str(STANDIN), "--write-cert", str(cert), "--password", PASSWORD,
         "--main-port", "0", "--push-port", "0"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=trace)
    trace.close()
    with selectors.DefaultSelector() as selector:
        selector.register(process.stdout, selectors.EVENT_READ)
        if not selector.select(START_WAIT):
            process.kill()
            raise RuntimeError("the simulator printed no ports")
    line = process.stdout.readline().decode()
    # "standin main=N push=M"
    fields = dict(part.split("=") for part in line.split()[1:])
    return process, Server(int(fields["main"]), int(fields["push"]), cert)


def stop_standin(process):
    process.stdin.close()
    process.wait(START_WAIT)


def write_config(home, server, log_limit_mb=None):
    """The configuration a client made next reads: the server's ports in
    config/system.xml (by the project's own writer) and its certificate as
    ca.pem."""
    subprocess.run([str(REPO / "scripts" / "write-config.sh"), str(home),
                    str(server.main_port), str(server.push_port)], check=True)
    shutil.copyfile(server.cert, pathlib.Path(home) / "ca.pem")
    if log_limit_mb is not None:
        path = pathlib.Path(home) / "config" / "system.xml"
        text = path.read_text().replace(
            "<TesselServer>", f'<TesselServer>\n    <LogLimit megabytes="{log_limit_mb}"/>', 1)
        path.write_text(text)


class SilentServer:
    """A trade server that has hung: it takes TLS connections on a main and
    a push port and reads whatever comes, but never answers. It notes the
    message type of each frame it receives."""

    def __init__(self, folder):
        folder = pathlib.Path(folder)
        self.cert = folder / "silent-cert.pem"
        key = folder / "silent-key.pem"
        subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
             "-nodes", "-keyout", str(key), "-out", str(self.cert), "-days", "2",
             "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"],
            check=True, capture_output=True)
        self._context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self._context.load_cert_chain(self.cert, key)
        self._listeners = [socket.create_server(("127.0.0.1", 0)) for _ in range(2)]
        self.main_port = self._listeners[0].getsockname()[1]
        self.push_port = self._listeners[1].getsockname()[1]
        self._stopping = threading.Event()
        self._lock = threading.Lock()
        self._connections = []
        self._received = threading.Condition(self._lock)
        self.message_types = []  # of every frame received, in order
        self._threads = [threading.Thread(target=self._accept, args=(listener,), daemon=True)
                         for listener in self._listeners]
        for thread in self._threads:
            thread.start()

    def _accept(self, listener):
        listener.settimeout(0.2)
        while not self._stopping.is_set():
            try:
                connection, _ = listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            thread = threading.Thread(target=self._swallow, args=(connection,), daemon=True)
            with self._lock:
                self._connections.append(connection)
                self._threads.append(thread)
            thread.start()

    def _swallow(self, connection):
        try:
            with self._context.wrap_socket(connection, server_side=True) as link:
                # The TLS socket took the descriptor over: close() shuts it.
                with self._lock:
                    self._connections.append(link)
                if self._stopping.is_set():
                    return
                pending = b""
                while True:
                    data = link.recv(65536)
                    if not data:
                        return
                    pending = self._note_frames(pending + data)
        except (OSError, ssl.SSLError):
            pass

    def _note_frames(self, data):
        # A frame: '-', its type and body length (32-bit little-endian) in a
        # 45-byte header, the body, a 4-byte trailer.
        while len(data) >= 45:
            size = 45 + int.from_bytes(data[5:9], "little") + 4
            if len(data) < size:
                break
            with self._received:
                self.message_types.append(int.from_bytes(data[1:5], "little"))
                self._received.notify_all()
            data = data[size:]
        return data

    def wait_for(self, message_type, count=1):
        """Waits until `count` frames of `message_type` have come: the
        library has written them, so it can no longer call them unsent."""
        with self._received:
            assert self._received.wait_for(
                lambda: self.message_types.count(message_type) >= count, ANSWER_WAIT), \
                f"no frame of type {message_type} came"

    def close(self):
        self._stopping.set()
        with self._lock:
            for connection in self._connections:
                try:
                    connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            threads = list(self._threads)
        for thread in threads:
            thread.join(START_WAIT)
        for listener in self._listeners:
            listener.close()


_users = itertools.count(1)


def fresh_user():
    """A user the simulator has not seen: it opens an account at login,
    with 1,000,000 in cash and 1000 shares of 600000."""
    return f"py{os.getpid()}u{next(_users)}"


def account(user):
    return dict(user_name=user, client_id=user, fund_account=f"{user}-01")


def buy_that_fills(user):
    """100 of 600519 at up to 1800: it crosses the price of 1700 and fills
    at once."""
    return dict(account(user), operator_id=f"{user}-op", code="600519", mark=49,
                code_name="Kweichow Moutai", entrust_vol=100, entrust_price=1800,
                entrust_bs=49, entrust_prop=48, business_type=48, allow_cancel_order=49)


# The pushes of an order that fills: execution report, order progress, fund
# change and position change.
FILL_PUSHES = {10, 17, 301, 302}


def pushes_of_fill(next_event, request_no, user, every_push=None):
    """The four pushes of the filled order `request_no`, by push type, read
    through `next_event(timeout)`; fails if they do not all come. Every push
    read on the way is appended to `every_push`."""
    found = {}
    deadline = time.monotonic() + PUSH_WAIT
    while set(found) != FILL_PUSHES:
        left = deadline - time.monotonic()
        assert left > 0, f"pushes missing: {FILL_PUSHES - set(found)}"
        event = next_event(left)
        if event.kind != "push":
            continue
        push = event.data
        if every_push is not None:
            every_push.append(push)
        kind = push["push_type"]
        ours = (push.get("request_no") == request_no if kind in (10, 17)
                else push.get("fund_account") == f"{user}-01")
        if kind in FILL_PUSHES and ours:
            found[kind] = push
    return found
