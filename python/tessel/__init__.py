"""Python host for the Tessel trading-gateway library, on ctypes alone.

    import tessel
    with tessel.Client(home="/path/to/home") as client:
        client.login("demo", "secret")
        answer = client.request("QryMoney", user_name="demo", client_id="demo",
                                fund_account="demo-01").result()

See Client for the threads, and tessel.errors for what can go wrong.
"""

from ._events import Event
from ._version import __version__
from .client import Client
from .errors import (Cancelled, ChannelDown, ClientClosed, LoginFailed, Refused, SendFailed,
                     ServerError, TesselError, TimedOut, Unanswered)

__all__ = [
    "Client", "Event", "__version__",
    "TesselError", "Refused", "ChannelDown", "ClientClosed", "Unanswered", "TimedOut",
    "Cancelled", "SendFailed", "ServerError", "LoginFailed",
]
