"""A one-line stage indicator on a terminal's stderr while the command runs.

The library announces each stage with a "[glyphway_maker] ..." line on
stdout. The command passes every byte of stdout on unchanged and, only when
stderr is a terminal, keeps one line on stderr saying which stage runs
(its place among the stages of this command), for how long, and how long
the whole run has taken. The stages report no counts, so the line is a
ticking clock rather than a filling bar.

Two clocks redraw the line: a background thread, for the parts that let
other threads run (reading the file, reprojecting), and the extension's
progress hook, which its long loops call about every 0.1 s while they hold
the interpreter lock and no thread could run.
"""
from __future__ import annotations

import os
import sys
import threading
import time

PREFIX = "[glyphway_maker] "

# The stages each command goes through, as the lines that start them begin.
_PREPARE = ("Loading Data", "Sampling along", "Pre-computing Matrices", "Solving Collisions")
STAGES = {
    "obj": _PREPARE + ("Generating 3D Mesh",),
    "csv": _PREPARE + ("Calculating Rotations", "Generating Billboard Data"),
    "labels": _PREPARE,
    "preview": _PREPARE,
    # The demo writes the OBJ first, then the CSV, each from the start.
    "demo": _PREPARE + ("Generating 3D Mesh",) + _PREPARE
    + ("Calculating Rotations", "Generating Billboard Data"),
}

_CLEAR = "\r\x1b[K"
_REFRESH_S = 0.1
_SPINNER = "|/-\\"


class _Passthrough:
    """A text stream that writes everything to `stream` as it is, with the
    indicator's line cleared first (and no redraw until the text is out),
    then hands each complete line to `on_line`."""

    def __init__(self, stream, indicator, on_line):
        self._stream = stream
        self._indicator = indicator
        self._on_line = on_line
        self._pending = ""

    def write(self, text):
        with self._indicator._lock:
            self._indicator._clear()
            written = self._stream.write(text)
            self._stream.flush()  # on the terminal before the indicator comes back
        self._pending += text
        if "\n" in self._pending:
            *lines, self._pending = self._pending.split("\n")
            for line in lines:
                self._on_line(line)
        return written

    def __getattr__(self, name):
        return getattr(self._stream, name)


class StageIndicator:
    """The indicator of one command run; a context manager that draws it
    between entry and exit, or does nothing when `enabled` is false."""

    def __init__(self, command: str, enabled: bool, stderr=None):
        self._enabled = enabled
        self._stages = STAGES.get(command, ())
        self._err = stderr if stderr is not None else sys.stderr
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._thread = None
        self._stage = None  # (index or None, title, start)
        self._next = 0  # where in the sequence the next stage line is looked for
        self._shown = False
        self._drawn_at = 0.0
        self._start = 0.0
        self._saved = None

    @classmethod
    def for_terminal(cls, command: str, quiet: bool) -> "StageIndicator":
        err = sys.stderr
        try:
            tty = bool(err.isatty())
        except (AttributeError, ValueError, OSError):
            tty = False
        return cls(command, enabled=tty and not quiet)

    def __enter__(self):
        if not self._enabled:
            return self
        self._start = time.monotonic()
        self._saved = (sys.stdout, sys.stderr)
        sys.stdout = _Passthrough(sys.stdout, self, self._line)
        sys.stderr = _Passthrough(sys.stderr, self, lambda line: None)
        _set_native_hook(self._tick)
        self._thread = threading.Thread(target=self._clock, name="glyphway-progress",
                                        daemon=True)
        self._thread.start()
        return self

    def __exit__(self, *exc):
        if not self._enabled:
            return False
        self._stop.set()
        self._thread.join()
        _set_native_hook(None)
        sys.stdout, sys.stderr = self._saved
        with self._lock:
            self._clear()
        return False

    # --- what the streams report -------------------------------------------

    def _line(self, line: str) -> None:
        if not line.startswith(PREFIX):
            return
        title = line[len(PREFIX):].rstrip()
        if title.startswith("Finished!"):  # nothing runs until the next stage line
            with self._lock:
                self._stage = None
                self._clear()
            return
        if title.startswith(("WARNING", "Font download failed", "Font fallback")):
            return
        index = None
        for i in range(self._next, len(self._stages)):
            if title.startswith(self._stages[i]):
                index, self._next = i, i + 1
                break
        with self._lock:
            self._stage = (index, title.rstrip("."), time.monotonic())
            self._draw()

    # --- drawing -----------------------------------------------------------

    def _clock(self) -> None:
        while not self._stop.wait(_REFRESH_S):
            self._tick()

    def _tick(self) -> None:
        # Never raises: an error here would end the run's native stage.
        try:
            # Both clocks tick; one redraw per period is enough.
            if time.monotonic() - self._drawn_at < _REFRESH_S / 2:
                return
            if self._lock.acquire(blocking=False):
                try:
                    self._draw()
                finally:
                    self._lock.release()
        except Exception:
            pass

    def _emit(self, text: str) -> None:
        # A terminal that went away must not end the run for a progress line.
        try:
            self._err.write(text)
            self._err.flush()
        except (OSError, ValueError):
            pass

    def _clear(self) -> None:
        if self._shown:
            self._emit(_CLEAR)
            self._shown = False

    def _draw(self) -> None:
        if self._stage is None:
            return
        index, title, began = self._stage
        now = time.monotonic()
        place = f"[{index + 1}/{len(self._stages)}] " if index is not None else ""
        spin = _SPINNER[int((now - self._start) / _REFRESH_S) % len(_SPINNER)]
        clock = f" {now - began:6.1f} s  (total {now - self._start:.1f} s)"
        text = f"{spin} {place}{title}"
        width = _width(self._err) - 1  # never the last column: no wrap
        room = width - len(clock)
        if room < 8:
            text, clock = text[:max(width, 0)], ""
        elif len(text) > room:
            text = text[:room - 1] + "\u2026"
        self._emit(f"{_CLEAR}{text}{clock}")
        self._shown = True
        self._drawn_at = now


def _width(stream) -> int:
    try:
        return os.get_terminal_size(stream.fileno()).columns or 80
    except (AttributeError, ValueError, OSError):
        return 80


def _set_native_hook(hook) -> None:
    from glyphway_maker import glyphway_accel_avx2
    setter = getattr(glyphway_accel_avx2, "_set_progress_hook", None)
    if setter is not None:
        setter(hook)
