"""A progress bar on standard error: files done, rate, time left, failures. Lines written through
it appear above the bar."""

from __future__ import annotations

import sys
import time
from typing import TextIO

WIDTH = 24
REDRAW_SECONDS = 0.2


def duration_text(seconds: float) -> str:
    seconds = int(round(seconds))
    hours, rest = divmod(seconds, 3600)
    return f"{hours}:{rest // 60:02d}:{rest % 60:02d}"


def bar_text(done: int, total: int, failed: int, elapsed: float) -> str:
    """[#######.........]  12/40 files, 2.3 files/s, 0:00:12 left, 1 failed"""
    filled = WIDTH * done // total if total else WIDTH
    rate = done / elapsed if elapsed > 0 else 0.0
    left = duration_text((total - done) / rate) if rate > 0 else "-:--:--"
    text = f"[{'#' * filled}{'.' * (WIDTH - filled)}] {done}/{total} files, {rate:.2f} files/s, {left} left"
    return text + (f", {failed} failed" if failed else "")


class Progress:
    """Shows the bar when enabled; otherwise only passes lines on."""

    def __init__(self, total: int, enabled: bool, stream: TextIO | None = None):
        self.total = total
        self.enabled = enabled and total > 0
        self.stream = stream or sys.stderr
        self.started = time.monotonic()
        self.done = 0
        self.failed = 0
        self.drawn = 0.0
        self.shown = False
        self._draw(force=True)

    def _clear(self) -> None:
        if self.shown:
            self.stream.write("\r\033[K")
            self.shown = False

    def _draw(self, force: bool = False) -> None:
        now = time.monotonic()
        if not self.enabled or (not force and now - self.drawn < REDRAW_SECONDS):
            return
        self._clear()
        self.stream.write(bar_text(self.done, self.total, self.failed, now - self.started))
        self.stream.flush()
        self.drawn, self.shown = now, True

    def line(self, text: str) -> None:
        """A line above the bar."""
        self._clear()
        print(text, file=self.stream, flush=True)
        if self.enabled:
            self._draw(force=True)

    def advance(self, failed: bool = False) -> None:
        self.done += 1
        self.failed += int(failed)
        self._draw(force=self.done == self.total)

    def close(self) -> None:
        if self.shown:
            self._draw(force=True)
            self.stream.write("\n")
            self.stream.flush()
            self.shown = False
