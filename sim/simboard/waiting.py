"""Waiting for something to happen, with a bound."""

import os
import time


def until(condition, seconds, what, step=0.01):
    """Polls `condition` until it is true; raises after `seconds`."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError("gave up waiting for " + what)
        time.sleep(step)


def settled(path, quiet=0.3, at_most=5):
    """Waits until the file has not grown for `quiet` seconds."""
    deadline = time.monotonic() + at_most
    size, since = -1, time.monotonic()
    while time.monotonic() < deadline:
        now = os.path.getsize(path) if os.path.exists(path) else 0
        if now != size:
            size, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            return
        time.sleep(0.05)
