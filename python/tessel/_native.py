"""The library as ctypes sees it: the descriptor QueryZephCommInterface
returns, its four entry points, and what the library decides once per
process (its home folder and its log)."""

import ctypes
import os
import sys
import threading
import time

from . import _refusals
from .errors import TesselError

# Texts come as a pointer and a length; c_void_p keeps ctypes from reading
# them as NUL-terminated strings on its own.
NotifyFunction = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32)
AnswerFunction = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32, ctypes.c_uint64)


class Descriptor(ctypes.Structure):
    _fields_ = [
        ("identifier", ctypes.c_char_p),
        ("display_name", ctypes.c_char_p),  # GBK
        ("english_name", ctypes.c_char_p),
        ("description", ctypes.c_char_p),  # GBK
        ("extra", ctypes.c_char_p),
        ("flags", ctypes.c_int32),
        ("create_client", ctypes.CFUNCTYPE(ctypes.c_void_p, NotifyFunction)),
        ("destroy_client", ctypes.CFUNCTYPE(None, ctypes.c_void_p)),
        ("send_request", ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.c_char_p,
                                          ctypes.c_int32, AnswerFunction, ctypes.c_uint64)),
        ("set_real_trade", ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_uint8)),
    ]


# The layout is part of the library's binary interface.
if ctypes.sizeof(ctypes.c_void_p) == 8:
    assert ctypes.sizeof(Descriptor) == 80
    assert Descriptor.create_client.offset == 48
    assert Descriptor.set_real_trade.offset == 72

# Every SendRequest of the process, with the log reading after a refusal:
# the log is the process's, so a refusal entry written while this is held is
# the holder's.
SEND_LOCK = threading.Lock()

HOME_VARIABLE = "TESSEL_HOME"
_LIBRARY_NAME = "Tessel.dll" if os.name == "nt" else "libTessel.so"


def default_library_path():
    """TESSEL_LIBRARY, else a library inside the package, else the loader's
    own search for libTessel.so (Tessel.dll on Windows)."""
    named = os.environ.get("TESSEL_LIBRARY")
    if named:
        return named
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), _LIBRARY_NAME)
    if os.path.exists(beside):
        return beside
    return _LIBRARY_NAME


def _executable_folder():
    """The folder the library takes for home when TESSEL_HOME is not set."""
    try:
        return os.path.dirname(os.readlink("/proc/self/exe"))
    except OSError:
        return os.path.dirname(os.path.realpath(sys.executable))


def _same_folder(a, b):
    return os.path.normcase(os.path.abspath(a)) == os.path.normcase(os.path.abspath(b))


class Library:
    """One loaded copy of the library. Made once per path; shared by every
    Client of the process that names it."""

    def __init__(self, path):
        self.path = path
        try:
            self._dll = ctypes.CDLL(path)
            query = self._dll.QueryZephCommInterface
        except (OSError, AttributeError) as error:
            raise TesselError(f"cannot load the Tessel library {path!r}: {error}") from None
        query.restype = Descriptor
        query.argtypes = []
        self.descriptor = query()
        self.create_client = self.descriptor.create_client
        self.destroy_client = self.descriptor.destroy_client
        self.send_request = self.descriptor.send_request
        self.set_real_trade = self.descriptor.set_real_trade
        self._create_lock = threading.Lock()
        self.home = None  # fixed by the first client, as the library fixes it
        self.log = None

    def create(self, notify, home):
        """A new client's handle, or None when the library made none.

        The library reads TESSEL_HOME once, at its first client, and dates
        its log then; later clients must live in the same home.
        """
        with self._create_lock:
            if self.home is not None:
                if home is not None and not _same_folder(home, self.home):
                    raise ValueError(
                        f"the library's home is already {self.home!r} in this process; "
                        f"it cannot move to {home!r}")
                return self.create_client(notify)
            if home is not None:
                os.environ[HOME_VARIABLE] = os.path.abspath(home)
            self.home = os.environ.get(HOME_VARIABLE) or _executable_folder()
            folder = os.path.join(self.home, "Log")
            before = time.strftime("%Y%m%d")
            passed_over = _refusals.nonempty_numbers(folder, before)
            handle = self.create_client(notify)
            date = time.strftime("%Y%m%d")
            if date != before:
                # Across midnight: the file of the later date exists only if
                # the library opened it.
                if not os.path.exists(os.path.join(folder, _refusals.numbered_name(date, 0))):
                    date = before
                else:
                    passed_over = _refusals.nonempty_numbers(folder, date)
            self.log = _refusals.RefusalLog(folder, date, passed_over)
            return handle


_libraries = {}
_libraries_lock = threading.Lock()


def load(path=None):
    """The Library for `path` (default_library_path() when None)."""
    if path is None:
        path = default_library_path()
    path = os.fspath(path)
    key = os.path.abspath(path) if os.sep in path or (os.altsep and os.altsep in path) else path
    with _libraries_lock:
        library = _libraries.get(key)
        if library is None:
            library = Library(key)
            _libraries[key] = library
        return library
