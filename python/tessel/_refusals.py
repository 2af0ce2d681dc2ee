"""Why the library refused a request: the newest "Request_Refused" entry of
its log. SendRequest returns only 0 or 1; the log is the one place the
library says why, and the entry is in the file before SendRequest returns.

The log is Log/<YYYYMMDD>.tessel.log in the library's home folder, dated by
the process's first client. With a size limit it goes on in numbered files,
"<date>.1.tessel.log", "<date>.2.tessel.log", ..., each starting with a
"Log_Continued  after:<previous file>" entry; numbered files an earlier run
of the day left behind (not empty when this process began) are passed over.
"""

import os
import re

_MARK = b":Request_Refused  content:"
# An entry starts a line with its stamp: "2024-03-15 09:30:05:042:".
_STAMP = re.compile(rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\Z")
_CONTINUED = b":Log_Continued  after:"


def numbered_name(date, number):
    return f"{date}.tessel.log" if number == 0 else f"{date}.{number}.tessel.log"


def nonempty_numbers(folder, date):
    """Numbers of the day's numbered files that already hold something."""
    found = set()
    prefix, suffix = f"{date}.", ".tessel.log"
    try:
        names = os.listdir(folder)
    except OSError:
        return found
    for name in names:
        middle = name[len(prefix):-len(suffix)]
        if name.startswith(prefix) and name.endswith(suffix) and middle.isdigit():
            try:
                if os.path.getsize(os.path.join(folder, name)) > 0:
                    found.add(int(middle))
            except OSError:
                pass
    return found


def _newest_refusal(data):
    """(func, reason) of the last refusal entry in `data`, or None."""
    at = len(data)
    while True:
        at = data.rfind(_MARK, 0, at)
        if at < 0:
            return None
        begin = at - 23
        line_start = begin == 0 or (begin > 0 and data[begin - 1:begin] == b"\n")
        if begin >= 0 and line_start and _STAMP.match(data, begin, at):
            break
    start = at + len(_MARK)
    end = data.find(b"\r\n", start)
    content = data[start:] if end < 0 else data[start:end]
    text = content.decode("utf-8", errors="replace")
    # The reason never holds " - "; the function name may.
    func, dash, reason = text.rpartition(" - ")
    if not dash:
        return "", text
    return func, reason


class RefusalLog:
    """The library's log as far as refusals go.

    Not thread-safe: the caller serialises mark(), the SendRequest call and
    newest_since(), so that a refusal entry written in between is the
    caller's own.
    """

    def __init__(self, folder, date, passed_over):
        self.folder = folder
        self.date = date
        self._passed_over = set(passed_over)  # earlier runs' files
        self._number = 0  # the file being written, as last seen

    @property
    def path(self):
        return os.path.join(self.folder, numbered_name(self.date, self._number))

    def _continuation(self, number):
        """The file the log went on in after file `number`, or None."""
        after = b"after:" + numbered_name(self.date, number).encode()
        candidate = number + 1
        while True:
            if candidate in self._passed_over:
                candidate += 1
                continue
            path = os.path.join(self.folder, numbered_name(self.date, candidate))
            try:
                with open(path, "rb") as f:
                    first = f.readline()
            except OSError:
                return None
            if _CONTINUED in first and first.rstrip(b"\r\n").endswith(after):
                return candidate
            if not first:
                return None  # just opened; its first entry is on the way
            # Someone else's; the library passes over files that hold anything.
            self._passed_over.add(candidate)
            candidate += 1

    def mark(self):
        """Where the log ends now: (file number, size)."""
        while True:
            following = self._continuation(self._number)
            if following is None:
                break
            self._number = following
        try:
            size = os.path.getsize(self.path)
        except OSError:
            size = 0
        return self._number, size

    def newest_since(self, mark):
        """(func, reason) of the newest refusal written after `mark`, or None."""
        number, offset = mark
        found = None
        while number is not None:
            path = os.path.join(self.folder, numbered_name(self.date, number))
            try:
                with open(path, "rb") as f:
                    f.seek(offset)
                    data = f.read()
            except OSError:
                data = b""
            found = _newest_refusal(data) or found
            self._number = number
            number = self._continuation(number)
            offset = 0
        return found
