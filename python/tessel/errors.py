"""What can go wrong with a request, as exception types.

TesselError
 +-- Refused          SendRequest did not take the request: nothing was sent
 |    +-- ChannelDown    ... because the channel it needs is not up (yet)
 +-- ClientClosed     the client is closed: nothing more can be sent
 +-- Unanswered       the library answered in the server's stead: no server
 |    |               answer to this request will ever arrive
 |    +-- TimedOut       no answer in time; the server may have acted on it
 |    +-- Cancelled      given up (server-kind switch, new main link, close);
 |    |                  the server may have acted on it
 |    +-- SendFailed     its frame certainly never reached the server
 +-- ServerError      the server answered with a non-zero "error_no" (or a
      |               refused login)
      +-- LoginFailed    a Login or Login_Trade_Push the server turned down

After TimedOut or Cancelled an order's fate is unknown: query today's orders
before placing it again.
"""


class TesselError(Exception):
    """Base of every error this package raises for a request."""


class Refused(TesselError):
    """The library refused the request; nothing was sent and no answer comes.

    `reason` is the library's own words from its log ("unknown function",
    'key "client_id" is missing', "main channel down", ...), or None when the
    log could not be read.
    """

    def __init__(self, func, reason, where=None):
        self.func = func
        self.reason = reason
        if reason is None:
            text = f"{func}: refused; no reason found in the library's log"
            if where:
                text += f" {where}"
        else:
            text = f"{func}: refused: {reason}"
        super().__init__(text)


class ChannelDown(Refused):
    """Refused because the channel the request needs is not connected.

    Worth retrying: the library connects and reconnects on its own.
    """


class ClientClosed(TesselError):
    """The client was closed before or while the call was made."""


class Unanswered(TesselError):
    """The library gave up on the request and answered it itself.

    `answer` is the library's text as a dict ({"status": ..., "describe":
    ...}), or None when this package gave up on it (the client was closed,
    or a push login the library drops silently went unanswered).
    """

    def __init__(self, func, answer, text=None):
        self.func = func
        self.answer = answer
        if text is None:
            text = answer.get("describe", "") if answer else ""
        super().__init__(f"{func}: {text}")


class TimedOut(Unanswered, TimeoutError):
    """No answer came in time; the server may still have acted on it."""


class Cancelled(Unanswered):
    """Given up before an answer came; the server may have acted on it."""


class SendFailed(Unanswered):
    """Its frame never reached the server: safe to send again."""


class ServerError(TesselError):
    """The server's answer says the request failed.

    `answer` is the whole answer as a dict; `error_no` and `error_info` are
    its "error_no" and "error_info" (for a login: "login_status" and
    "describe").
    """

    def __init__(self, func, answer, error_no, error_info):
        self.func = func
        self.answer = answer
        self.error_no = error_no
        self.error_info = error_info
        super().__init__(f"{func}: server error {error_no}: {error_info}")


class LoginFailed(ServerError):
    """The server turned a login down (wrong password, ...)."""
